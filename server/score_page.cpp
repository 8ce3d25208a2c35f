#include "server/score_page.h"

#include "server/iso_time.h"

std::string html_escape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

namespace {

const char* const STYLE =
    "body{font-family:sans-serif;margin:2em auto;max-width:48em;padding:0 1em;background:#10121a;color:#e8e8f0}"
    "h1,h2{font-weight:normal}table{border-collapse:collapse;width:100%;margin-bottom:2em}"
    "th,td{text-align:left;padding:.3em .6em;border-bottom:1px solid #334}td.n{text-align:right}"
    "a{color:#9cf}.small{font-size:.85em;color:#aab}";

std::string scores_text(const std::vector<int>& scores)
{
    if (scores.empty())
        return "no game finished";
    std::string s;
    for (size_t i = 0; i < scores.size(); ++i)
        s += (i ? ", " : "") + std::to_string(scores[i]);
    return s;
}

}  // namespace

std::string score_page(const std::vector<best_score>& table, const std::vector<stored_run>& recent,
                       bool links_to_game)
{
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>Kelvora 3D scores</title>\n<style>";
    page += STYLE;
    page += "</style>\n</head>\n<body>\n<h1>Kelvora 3D scores</h1>\n";
    page += "<p class=\"small\">Every score here was verified by playing its recorded run again.";
    if (links_to_game)
        page += " <a href=\"/play/\">Play in the browser</a>.";
    page += "</p>\n<h2>Best scores</h2>\n";
    if (table.empty()) {
        page += "<p>No verified scores yet.</p>\n";
    } else {
        page += "<table>\n<tr><th>#</th><th>Name</th><th>Score</th><th>Date</th><th>System</th></tr>\n";
        int rank = 0;
        for (const auto& row : table)
            page += "<tr><td class=\"n\">" + std::to_string(++rank) + "</td><td>" + html_escape(row.name) +
                    "</td><td class=\"n\">" + std::to_string(row.score) + "</td><td>" +
                    iso_time(row.date).substr(0, 10) + "</td><td>" + html_escape(row.system) + "</td></tr>\n";
        page += "</table>\n";
    }
    page += "<h2>Verified lately</h2>\n";
    if (recent.empty()) {
        page += "<p>No run verified yet.</p>\n";
    } else {
        page += "<table>\n<tr><th>When</th><th>Name</th><th>Scores</th><th>System</th></tr>\n";
        for (const auto& run : recent)
            page += "<tr><td>" + iso_time(run.verified_at.value_or(run.submitted)) + "</td><td>" +
                    html_escape(run.name) + "</td><td>" + scores_text(run.scores) + "</td><td>" +
                    html_escape(run.system) + "</td></tr>\n";
        page += "</table>\n";
    }
    page += "</body>\n</html>\n";
    return page;
}
