// The render command's media side: what a media track is and how long it
// plays. The file is read with the same media readers the plug-in plays it
// with, so a member number, a track length and a reader's complaint mean here
// what they mean to the plug-in.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "enginehost/RenderCommand.h"
#include "vantor/PlatformTools.h"
#include "vantor/PlatformToolsFiles.h"
#include "vgm/VGMX.h"

namespace morvane {

namespace {

// The format a file's extension stands for.
std::string formatName(const std::string& path) {
    const std::string ext = lowercase(getFileExtension(path));
    if (ext == "vgm") return "VGM";
    if (ext == "vgz" || ext == "gz") return "VGM (gzip)";
    if (ext == "vgmx" || ext == "vgx") return "VGMX";
    if (ext == "ym") return "YM";
    if (ext == "dro") return "DRO";
    if (ext == "bin") return "raw register log";
    if (ext == "zip" || ext == "7z" || ext == "vgm7z" || ext == "rar") return ext + " archive";
    return ext.empty() ? "media" : ext;
}

std::string clockTime(double seconds) {
    char text[32];
    const double s = std::max(0.0, seconds);
    const int minutes = static_cast<int>(s / 60.0);
    std::snprintf(text, sizeof text, "%d:%04.1f", minutes, s - 60.0 * minutes);
    return text;
}

// The last non-empty line of a reader's log.
std::string lastLine(const std::string& log) {
    size_t end = log.size();
    while (end > 0 && (log[end - 1] == '\n' || log[end - 1] == '\r')) --end;
    const size_t start = log.rfind('\n', end ? end - 1 : 0);
    const size_t from = (start == std::string::npos || start >= end) ? 0 : start + 1;
    return log.substr(from, end - from);
}

} // namespace

bool describeMedia(const std::string& path, uint64_t member, uint32_t loops, MediaDescription& d,
                   std::string& error) {
    VGM::VGMX collection;
    if (!collection.openFile(path)) {
        const std::string why = lastLine(collection.logText());
        error = "no playable track in " + path + (why.empty() ? "" : ": " + why);
        return false;
    }
    const uint64_t count = collection.getTrackCount();
    if (member >= count) {
        error = path + " holds " + std::to_string(count) + " song member" + (count == 1 ? "" : "s");
        return false;
    }
    const bool archive = collection.container() != nullptr;
    const VGM::MediaTrack& track = archive ? collection.loadMember(member) : collection.track();
    if (!track.playable || track.chips.empty()) {
        const std::string why = lastLine(collection.logText());
        error = "song member " + std::to_string(member + 1) + " of " + path + " cannot be played" +
                (why.empty() ? "" : ": " + why);
        return false;
    }
    // The longest chip stream is the track; loop points count ticks of the
    // streams' command rate.
    double length = 0.0;
    int32_t rate = 0;
    std::string chips;
    bool pcmStreams = false;
    for (const auto& [type, record] : track.chips) {
        if (record.commandRate > 0) {
            length = std::max(length, double(record.totalLength) / record.commandRate);
            if (rate == 0) rate = record.commandRate;
        }
        if (type >= VGM::kChipDacStream0 && type < VGM::kChipDacStream0 + VGM::kChipDacStreamCount) {
            pcmStreams = true;
            continue;
        }
        chips += chips.empty() ? "" : ", ";
        chips += record.name.empty() ? "chip " + std::to_string(type) : record.name;
        if (record.clock > 0) chips += " at " + std::to_string(record.clock) + " Hz";
    }
    if (pcmStreams) chips += chips.empty() ? "PCM streams" : ", PCM streams";
    double loop = 0.0, loopStart = 0.0;
    const bool looped = track.loop.marker >= 0 && rate > 0;
    if (looped) {
        loopStart = std::min(length, double(track.loop.startTicks) / rate);
        loop = length - loopStart;
    }
    d.seconds = length + double(loops > 0 ? loops - 1 : 0) * loop;
    if (!(d.seconds > 0.0)) {
        error = "song member " + std::to_string(member + 1) + " of " + path + " lasts no time";
        return false;
    }
    std::string what = formatName(path);
    if (archive) {
        const auto& songs = collection.songMembers();
        const std::string name = member < songs.size() ? songs[member].displayName : "";
        what += ", song member " + std::to_string(member + 1) + " of " + std::to_string(count) +
                (name.empty() ? "" : " (" + name + ", " + formatName(name) + ")");
    }
    d.line = what + "; " + chips + "; " + clockTime(length) + " long, " +
             (looped ? "loops from " + clockTime(loopStart) : "no loop");
    return true;
}

std::string mediaRefusal(const std::string& path) {
    VGM::VGMX collection;
    if (collection.openFile(path)) return {};
    const std::string why = lastLine(collection.logText());
    return why.empty() ? "not a " + formatName(path) + " file it reads" : why;
}

} // namespace morvane
