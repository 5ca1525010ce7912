// The render command's media side: how long a media track plays. The file is
// read with the same media readers the plug-in plays it with, so a member
// number and a track length mean here what they mean to the plug-in.
#include "enginehost/RenderCommand.h"

#include <algorithm>

#include "vgm/VGMX.h"

namespace morvane {

bool mediaTrackSeconds(const std::string& path, uint64_t member, uint32_t loops, double& seconds,
                       std::string& error) {
    VGM::VGMX collection;
    if (!collection.openFile(path)) {
        error = "no playable track in " + path;
        return false;
    }
    const uint64_t count = collection.getTrackCount();
    if (member >= count) {
        error = path + " holds " + std::to_string(count) + " song member" + (count == 1 ? "" : "s");
        return false;
    }
    const VGM::MediaTrack& track =
        collection.container() ? collection.loadMember(member) : collection.track();
    if (!track.playable || track.chips.empty()) {
        error = "song member " + std::to_string(member + 1) + " of " + path + " cannot be played";
        return false;
    }
    // The longest chip stream is the track; loop points count ticks of the
    // streams' command rate.
    double length = 0.0;
    int32_t rate = 0;
    for (const auto& [type, record] : track.chips) {
        if (record.commandRate <= 0) continue;
        length = std::max(length, double(record.totalLength) / record.commandRate);
        if (rate == 0) rate = record.commandRate;
    }
    double loop = 0.0;
    if (track.loop.marker >= 0 && rate > 0)
        loop = std::max(0.0, length - double(track.loop.startTicks) / rate);
    seconds = length + double(loops > 0 ? loops - 1 : 0) * loop;
    if (!(seconds > 0.0)) {
        error = "song member " + std::to_string(member + 1) + " of " + path + " lasts no time";
        return false;
    }
    return true;
}

} // namespace morvane
