#include "SwayTree.h"

#include <ZOLT/Capture/CaptureError.h>

#include <nlohmann/json.hpp>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ZOLT {
namespace Capture {
namespace Wayland {

namespace {

using Json = nlohmann::json;

constexpr char IPC_MAGIC[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t HEADER_SIZE = sizeof IPC_MAGIC + 2 * sizeof(std::uint32_t);
constexpr std::uint32_t GET_TREE = 4;
/// A reply larger than this is not a window tree.
constexpr std::uint32_t MAX_REPLY = 64u << 20;

[[noreturn]] void ThrowIpcError(const std::string& what)
{
    throw CaptureError(CaptureError::Kind::NoDisplay, "sway's IPC: " + what);
}

cv::Rect RectOf(const Json& rect)
{
    return cv::Rect(rect.value("x", 0), rect.value("y", 0), rect.value("width", 0), rect.value("height", 0));
}

/// An application window has a process (native) or an X11 window id (XWayland).
bool IsWindow(const Json& node)
{
    return node.contains("pid") || node.contains("window");
}

/// Collects the windows under `node`, which lies on the output `output`.
void CollectWindows(const Json& node, const SwayWindow& output, std::vector<SwayWindow>& windows)
{
    SwayWindow onOutput = output;
    if (node.value("type", "") == "output") {
        onOutput.outputName = node.value("name", "");
        onOutput.outputArea = RectOf(node.value("rect", Json::object()));
    }
    if (IsWindow(node)) {
        SwayWindow window = onOutput;
        window.id = node.value("id", std::uint64_t{0});
        const Json name = node.value("name", Json());
        window.title = name.is_string() ? name.get<std::string>() : std::string();
        // window_rect is the content's place inside the container's rect.
        const cv::Rect container = RectOf(node.value("rect", Json::object()));
        const cv::Rect content = RectOf(node.value("window_rect", Json::object()));
        window.area = cv::Rect(container.tl() + content.tl(), content.size());
        window.visible = node.value("visible", false);
        window.focused = node.value("focused", false);
        windows.push_back(window);
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        const auto found = node.find(children);
        if (found != node.end() && found->is_array()) {
            for (const Json& child : *found) {
                CollectWindows(child, onOutput, windows);
            }
        }
    }
}

}  // namespace

SwayTree::SwayTree(const std::string& socketPath)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        ThrowIpcError("the socket path '" + socketPath + "' is too long");
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    socket_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
        ThrowIpcError(std::string("cannot make a socket: ") + std::strerror(errno));
    }
    if (connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
        const int error = errno;
        close(socket_);
        ThrowIpcError("cannot connect to '" + socketPath + "' (SWAYSOCK): " + std::strerror(error));
    }
}

SwayTree::~SwayTree()
{
    close(socket_);
}

std::optional<std::string> SwayTree::SocketFromEnvironment()
{
    const char* path = std::getenv("SWAYSOCK");
    if (path == nullptr || *path == '\0') {
        return std::nullopt;
    }
    return std::string(path);
}

void SwayTree::Send(const std::string& bytes) const
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            ThrowIpcError(std::string("sway stopped answering: ") + std::strerror(errno));
        }
        sent += static_cast<std::size_t>(count);
    }
}

std::string SwayTree::Receive(std::size_t length) const
{
    std::string bytes(length, '\0');
    std::size_t received = 0;
    while (received < length) {
        const ssize_t count = ::recv(socket_, &bytes[received], length - received, 0);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            ThrowIpcError(count == 0 ? std::string("sway closed the connection")
                                     : std::string("sway stopped answering: ") + std::strerror(errno));
        }
        received += static_cast<std::size_t>(count);
    }
    return bytes;
}

std::string SwayTree::Request(std::uint32_t type, const std::string& payload) const
{
    // The header is the magic, then the payload's length and the message type in host order.
    std::string message(IPC_MAGIC, sizeof IPC_MAGIC);
    const std::uint32_t fields[] = {static_cast<std::uint32_t>(payload.size()), type};
    message.append(reinterpret_cast<const char*>(fields), sizeof fields);
    Send(message + payload);

    const std::string header = Receive(HEADER_SIZE);
    std::uint32_t reply[2] = {};
    std::memcpy(reply, header.data() + sizeof IPC_MAGIC, sizeof reply);
    if (header.compare(0, sizeof IPC_MAGIC, IPC_MAGIC, sizeof IPC_MAGIC) != 0 || reply[1] != type ||
        reply[0] > MAX_REPLY) {
        ThrowIpcError("the reply is not an i3-ipc message");
    }
    return Receive(reply[0]);
}

std::vector<SwayWindow> SwayTree::Windows() const
{
    const Json tree = Json::parse(Request(GET_TREE, std::string()), nullptr, false);
    if (tree.is_discarded() || !tree.is_object()) {
        ThrowIpcError("the window tree is not JSON");
    }
    std::vector<SwayWindow> windows;
    try {
        CollectWindows(tree, SwayWindow(), windows);
    } catch (const nlohmann::json::exception& error) {
        ThrowIpcError(std::string("unexpected window tree: ") + error.what());
    }
    return windows;
}

}  // namespace Wayland
}  // namespace Capture
}  // namespace ZOLT
