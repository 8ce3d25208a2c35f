/// @file
/// Files and streams: byte streams opened from paths or "protocol::path"
/// URLs, resources embedded in the program, the file system, and the
/// engine's error type.
#pragma once

#include "kelvora/runtime/errors.h"
#include "kelvora/io/filesystem.h"
#include "kelvora/io/incbin.h"
#include "kelvora/io/stream.h"
#include "kelvora/io/stream_factory.h"
