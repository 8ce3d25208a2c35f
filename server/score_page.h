// The page at "/": the table and the runs verified last, plain HTML that
// needs no script. Every name is escaped: names are whatever players typed.
#pragma once

#include <string>
#include <vector>

#include "server/run_store.h"

std::string html_escape(const std::string& text);

std::string score_page(const std::vector<best_score>& table, const std::vector<stored_run>& recent,
                       bool links_to_game);
