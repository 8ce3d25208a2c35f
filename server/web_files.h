// The built game page (--web DIR) under /play/: a file of DIR or nothing.
// Paths that climb out (".."), hidden files, and links leading outside DIR
// are refused.
#pragma once

#include <optional>
#include <string>

struct web_file {
    std::string path;          // on disk
    std::string content_type;
};

// `relative` is the decoded path after "/play/" ("" for the folder itself).
std::optional<web_file> find_web_file(const std::string& root, const std::string& relative);

std::string content_type_of(const std::string& file_name);
