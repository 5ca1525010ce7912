// Path strings, file facts, whole-file byte reading and writing, line-oriented
// text reading and key/value files. Paths are UTF-8 byte strings and are used
// byte for byte; no function here keeps state between calls.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <string>
#include <vector>

// ---- Path strings -------------------------------------------------------------
bool pathIsRelative(const std::string& path);
// Text after the last '.', empty when there is none (separators are not looked at).
std::string getFileExtension(const std::string& path);
// Text before the last '.', the whole path when there is none.
std::string stripFileExtension(const std::string& path);
// Text after the later of the last '/' and the last '\'.
std::string getFileFromPath(const std::string& path);
// Text before the later of the last '/' and the last '\'; "." when neither occurs.
std::string getPathFromFile(const std::string& path);
// In place: cut at the first NUL, then '\', '/', '*', '?', '>', '<', '|', ':' and
// blanks become '_'.
void cleanPathName(std::string& name);
void PToPosix(const std::string& in, std::string& out);
void PToPosix(const char* in, std::string& out);
void PToPosix(const std::wstring& in, std::wstring& out);
// Paths are kept byte for byte on this platform: the text comes back unchanged.
std::string localToFileSystem(const std::string& text);

// ---- File facts -----------------------------------------------------------------
bool wrap_FileExists(const std::string& path); // anything at the path, folders included
// True when `path` names an existing entry that is not a folder, so that a
// positive answer can guard a read. The flag is accepted and ignored.
bool fileExists(const std::string& path, bool flag = true);
bool directoryExists(const std::string& path); // also true for an existing file
int64_t fileSize(const std::string& path);     // 0 when the path cannot be examined
int64_t fileDate(const std::string& path);     // modification time, Unix seconds; 0 on failure
std::string getFileTimeDetails(const std::string& path); // "mtime : " + ctime text

// ---- Whole files of bytes ---------------------------------------------------------
// Only regular files are read: a folder, a pipe or a device gives the failure result.
uint8_t* binFileAlloc(uint64_t n); // null when the block cannot be allocated
void binFileFree(uint8_t* block);
// Replaces `data` with the whole file; on failure `data` is left as it was.
bool binFileInternalize(const std::string& path, std::vector<uint8_t>& data);
// A new block holding the file followed by zero bytes; its length is the
// smallest multiple of 16 that holds the file plus `tail` (in: zero bytes
// wanted, out: zero bytes provided). Null on failure; `size` is 0 when the file
// could not be opened or is not a regular file, else the file length.
uint8_t* binFileInternalize(const std::string& path, uint64_t& size, uint64_t& tail);
// The same for callers that pass the wanted tail as a plain value.
uint8_t* binFileInternalize(const std::string& path, uint64_t& size, uint64_t&& tail);
// Creates or truncates the file and writes exactly `len` bytes. Inside the
// temporary folder an existing link is not followed and a file owned by
// another user is not written.
bool binFileExternalize(const std::string& path, const uint8_t* data, uint64_t len);

// ---- Text ---------------------------------------------------------------------------
// One line: LF, CR LF or a lone CR ends it; line ends are not stored.
bool getLine(std::istream& in, std::string& line);
bool textInternalize(const std::string& path, std::vector<std::string>& lines);
bool textInternalize(const std::string& path, std::string& text);
bool textInternalizeRAM(const std::string& text, std::vector<std::string>& lines, bool skipEmpty);
// Lines "key <separator> value" into `map` (trimmed, later keys replace earlier).
bool createStringMap(const std::string& path, std::map<std::string, std::string>& map,
                     char separator, bool skipComments);
