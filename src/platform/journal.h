// The change journal: before a change set writes anything, every file it
// may touch is saved, as it is, in one file in /mnt, flushed to storage.
// The journal goes once everything the set wrote is on storage; a journal
// still there means a set that did not finish (a kill, a power cut, a
// refusal halfway), and every request puts its files back from it before
// doing anything else.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// A settings file as it was saved: whether it existed, its mode and bytes.
// The journal, the record of what the device started with and a restart
// trial all keep files this way.
struct SavedFile {
    std::string path;  // appliance path under /mnt
    bool existed = false;
    unsigned mode = 0644;
    std::string content;
};

// The files as they are now; nullopt when one exists but cannot be read.
std::optional<std::vector<SavedFile>> saveFiles(const std::vector<std::string>& appliancePaths);

// Saved files as text: per file "file <1|0> <mode octal> <bytes> <path>",
// a line end, the bytes and a line end; then "end <count>" and a line end.
std::string encodeFiles(const std::vector<SavedFile>& files);

// The files encodeFiles wrote, from `at` on (moved past them); nullopt for
// anything else.
std::optional<std::vector<SavedFile>> decodeFiles(const std::string& text, std::size_t& at);

// Puts one file back as saved (contents and mode; removed when it did not
// exist), with a write's leftover temporary file.
bool putBack(const SavedFile& file);

constexpr const char* kJournalPath = "/mnt/.webcfg-journal";
// Where a journal that cannot be read is moved, so that it no longer
// stops every request and is kept for whoever looks into it.
constexpr const char* kUnreadableJournalPath = "/mnt/.webcfg-journal.unreadable";

// Removes a file (if it is there) and flushes its directory, so that the
// removal survives a power cut. False when it cannot be removed.
bool removeSaved(const char* appliancePath);

// Saves the files (appliance paths; missing ones as missing) in the
// journal and flushes it. Until the journal ends, the file writes of this
// process go only to these files, and are flushed once at the end instead
// of one by one. False, with nothing written, when it cannot be saved.
bool beginJournal(const std::vector<std::string>& appliancePaths);

// Flushes every file written since beginJournal, then removes the journal:
// the set is done. False when the flush failed (the journal then stays,
// and the next request undoes the set).
bool commitJournal();

// Whether a set left a journal, or the start of one, behind.
bool journalLeftBehind();

// What the last look for a journal found.
enum class Recovery { None, Restored, Unreadable, Failed };

// Puts every file of a journal in /mnt back as it was (contents, mode; a
// file that did not exist is removed), flushes them and removes the
// journal. A journal that cannot be read is set aside, its files left as
// they are. Failed: a file could not be put back; the journal stays.
// Logged unless the set that wrote it undoes itself and says so.
Recovery recoverJournal(bool logged = true);

// True while a journal of this process is open.
bool journalOpen();

// While a journal is open: whether it holds this appliance path. Always
// true when none is open.
bool journalCovers(const char* appliancePath);

}  // namespace platform
