#pragma once

// Everything ZOLT.Stitching exports.

#include <ZOLT/Export.h>
#include <ZOLT/Version.h>

#include <ZOLT/Core.h>
#include <ZOLT/Providers.h>
#include <ZOLT/Detection.h>
#include <ZOLT/Stitchers.h>
#include <ZOLT/PageStitcher.h>
#include <ZOLT/Borders.h>
#include <ZOLT/Preview.h>
#include <ZOLT/Utilities.h>
#include <ZOLT/Factory.h>
