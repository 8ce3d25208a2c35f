// Times as answers give them: ISO 8601 in UTC, "2026-12-10T19:18:03Z".
#pragma once

#include <string>

#include "server/run_store.h"

std::string iso_time(unix_ms t);
