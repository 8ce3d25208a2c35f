// Streams addressed by URL, embedded resources and the file system.
#pragma once

#include "kelvora/runtime/errors.h"
#include "kelvora/io/filesystem.h"
#include "kelvora/io/incbin.h"
#include "kelvora/io/stream.h"
#include "kelvora/io/stream_factory.h"
