#pragma once

// Whether the test program runs under AddressSanitizer. It reserves terabytes of address space
// for its shadow memory, so an address-space limit starves it; and it turns an allocation it
// cannot serve into a null result (as the system allocator does) only with
// allocator_may_return_null=1, which the test script sets.

#if defined(__SANITIZE_ADDRESS__)
#define ZOLT_TESTING_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZOLT_TESTING_ASAN 1
#endif
#endif

#ifndef ZOLT_TESTING_ASAN
#define ZOLT_TESTING_ASAN 0
#endif

#include <sstream>
#include <string>

namespace ZOLT {
namespace Testing {

/// `errors` without the notes AddressSanitizer writes for each allocation it refuses; those
/// lines are not the library's.
inline std::string WithoutSanitizerNotes(const std::string& errors)
{
    std::istringstream lines(errors);
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("==", 0) != 0 || line.find("AddressSanitizer failed to allocate") == std::string::npos) {
            kept += line + "\n";
        }
    }
    if (!errors.empty() && errors.back() != '\n' && !kept.empty()) {
        kept.pop_back();
    }
    return kept;
}

}  // namespace Testing
}  // namespace ZOLT
