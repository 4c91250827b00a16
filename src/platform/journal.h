// The change journal: before a change set writes anything, every file it
// may touch is saved, as it is, in one file in /mnt, flushed to storage.
// The journal goes once everything the set wrote is on storage; a journal
// still there means a set that did not finish (a kill, a power cut, a
// refusal halfway), and every request puts its files back from it before
// doing anything else.
#pragma once

#include <string>
#include <vector>

namespace platform {

constexpr const char* kJournalPath = "/mnt/.webcfg-journal";
// Where a journal that cannot be read is moved, so that it no longer
// stops every request and is kept for whoever looks into it.
constexpr const char* kUnreadableJournalPath = "/mnt/.webcfg-journal.unreadable";

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
