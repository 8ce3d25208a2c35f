#include "app/saves_folder.h"

#include "kelvora/io/filesystem.h"
#include "runtime/program.h"

using namespace kelvora;

namespace {

bool both_writable(const std::string& folder)
{
    return CanWriteFile(folder + "/hiscore.dat") && CanWriteFile(folder + "/anaglyph3d.dat");
}

}  // namespace

std::string xdg_saves_folder(const char* xdg_data_home, const char* home)
{
    if (xdg_data_home && xdg_data_home[0] == '/')
        return std::string(xdg_data_home) + "/kelvora3d";
    if (home && home[0] == '/')
        return std::string(home) + "/.local/share/kelvora3d";
    return {};
}

saved_values_place choose_saved_values_place(const TProgramLayout& layout, const std::string& user_folder)
{
    saved_values_place chosen;
    const std::string beside = layout.files_dir + "/data";
    // A portable tree has its data/ (a program copied away from it has not:
    // that folder is not made beside a stray program).
    if (!layout.installed && FileType(beside) == FILETYPE_DIR && both_writable(beside))
        return chosen;
    chosen.seed_folder = beside;
    if (!user_folder.empty() && both_writable(user_folder))
        chosen.folder = user_folder;
    else
        chosen.folder.clear();
    return chosen;
}
