// The render command's media side: what a media track is and how long it
// plays, from what the plug-in reports once it has opened the file (its name
// text 0), so the file is read once, by the plug-in, and a member number, a
// track length and a reader's complaint mean here what they mean to it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "enginehost/RenderCommand.h"
#include "vantor/PlatformTools.h"
#include "vantor/PlatformToolsFiles.h"
#include "vgm/MediaTrack.h"

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

// One chip of the track as the plug-in reports it.
struct ReportedChip {
    uint32_t type = 0, clock = 0;
    int64_t rate = 0;
    uint64_t ticks = 0;
    std::string name;
};

// The plug-in's report read back: every line a key, a space and a value.
struct MediaReport {
    uint64_t tracks = 0, track = 0;
    bool playable = false;
    std::string member, unplayed, why;
    std::vector<ReportedChip> chips;
    bool looped = false;
    uint64_t loopTicks = 0;
};

MediaReport readReport(const std::string& info) {
    MediaReport r;
    std::istringstream lines(info);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        std::istringstream in(value);
        if (key == "tracks") in >> r.tracks;
        else if (key == "track") in >> r.track;
        else if (key == "playable") r.playable = value == "1";
        else if (key == "member") r.member = value;
        else if (key == "unplayed") r.unplayed = value;
        else if (key == "why") r.why = value;
        else if (key == "loop") r.looped = static_cast<bool>(in >> r.loopTicks);
        else if (key == "chip") {
            ReportedChip c;
            if (in >> c.type >> c.clock >> c.rate >> c.ticks) {
                std::getline(in >> std::ws, c.name);
                r.chips.push_back(c);
            }
        }
    }
    return r;
}

} // namespace

bool describeMedia(const std::string& path, const std::string& info, uint64_t member,
                   uint32_t loops, MediaDescription& d, std::string& error) {
    const MediaReport report = readReport(info);
    if (report.tracks == 0) {
        error = "no playable track in " + path + (report.why.empty() ? "" : ": " + report.why);
        return false;
    }
    const uint64_t count = report.tracks;
    if (member >= count) {
        error = path + " holds " + std::to_string(count) + " song member" + (count == 1 ? "" : "s");
        return false;
    }
    if (report.track != member || !report.playable || report.chips.empty()) {
        error = "song member " + std::to_string(member + 1) + " of " + path + " cannot be played" +
                (report.why.empty() ? "" : ": " + report.why);
        return false;
    }
    // The longest chip stream is the track; loop points count ticks of the
    // streams' command rate.
    double length = 0.0;
    int64_t rate = 0;
    std::string chips;
    bool pcmStreams = false;
    constexpr uint32_t kFirstStream = VGM::kChipDacStream0, kStreamCount = VGM::kChipDacStreamCount;
    for (const ReportedChip& chip : report.chips) {
        if (chip.rate > 0) {
            length = std::max(length, double(chip.ticks) / double(chip.rate));
            if (rate == 0) rate = chip.rate;
        }
        if (chip.type >= kFirstStream && chip.type < kFirstStream + kStreamCount) {
            pcmStreams = true;
            continue;
        }
        chips += chips.empty() ? "" : ", ";
        chips += chip.name.empty() ? "chip " + std::to_string(chip.type) : chip.name;
        if (chip.clock > 0) chips += " at " + std::to_string(chip.clock) + " Hz";
    }
    if (pcmStreams) chips += chips.empty() ? "PCM streams" : ", PCM streams";
    if (!report.unplayed.empty()) chips += "; not played: " + report.unplayed;
    double loop = 0.0, loopStart = 0.0;
    const bool looped = report.looped && rate > 0;
    if (looped) {
        loopStart = std::min(length, double(report.loopTicks) / double(rate));
        loop = length - loopStart;
    }
    d.seconds = length + double(loops > 0 ? loops - 1 : 0) * loop;
    if (!(d.seconds > 0.0)) {
        error = "song member " + std::to_string(member + 1) + " of " + path + " lasts no time";
        return false;
    }
    std::string what = formatName(path);
    if (!report.member.empty() || count > 1)
        what += ", song member " + std::to_string(member + 1) + " of " + std::to_string(count) +
                (report.member.empty()
                     ? ""
                     : " (" + report.member + ", " + formatName(report.member) + ")");
    // Passes through a loop the song does not have are not played: say so.
    const std::string noLoop =
        loops > 1 ? "no loop: the song has no loop and plays once, not " + std::to_string(loops) +
                        " times"
                  : "no loop";
    d.line = what + "; " + chips + "; " + clockTime(length) + " long, " +
             (looped ? "loops from " + clockTime(loopStart) : noLoop);
    return true;
}

std::string mediaRefusal(const std::string& path, const std::string& info) {
    const std::string why = readReport(info).why;
    return why.empty() ? "not a " + formatName(path) + " file it reads" : why;
}

} // namespace morvane
