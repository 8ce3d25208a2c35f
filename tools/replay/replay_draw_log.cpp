#include "tools/replay/replay_draw_log.h"

#include <fstream>
#include <stdexcept>

#include "kelvora/render/pixmap.h"
#include "render/recording_rast2d_driver.h"

using namespace kelvora;

void replay_draw_log::append(const TRecordingRast2DDriver& recorder, int frame, const std::string& path)
{
    std::ofstream out(path, std::ios::app);
    if (!out)
        throw std::runtime_error("cannot write " + path);
    out << "frame " << frame << "\n";
    for (const TRast2DCall& call : recorder.Calls()) {
        out << call.ToString();
        if ((call.name == "DrawFrame" || call.name == "DrawPixmap") && call.pixmap) {
            const auto found = picture_ids_.emplace(call.pixmap.get(), static_cast<int>(picture_ids_.size()));
            out << " @" << found.first->second << " " << call.pixmap->width << " " << call.pixmap->height;
        }
        out << "\n";
    }
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}
