#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "pack/archive.h"
#include "pack/archive_edit.h"

// The page's staged changes, as Save sends them, made into one archive edit.
//
// The changes come as lines of text, one change a line, fields separated by
// one space; the bytes come in parts of their own, named by the line:
//   replace RECORD PART FORM     new bytes for a record
//   add PART FORM NAME           a new record at the end of the list
//   remove RECORD
//   rename RECORD NAME
// RECORD counts from 1; NAME is the typed name's UTF-8 bytes in hex (so any
// name fits in a field); FORM is "raw" (the bytes as the record holds them)
// or "wav" (a .WAV of the game's sound format, for a sound: scrambled here).
// Lines end in LF, CR LF or CR: a browser sends a form's text fields with CR LF.
namespace quill::web {

// The change lines, whatever their line ends; empty lines left out.
std::vector<std::string_view> changeLines(std::string_view changes);

// Fills the edit; returns every reason the changes cannot be made, each
// naming the record (its number and name) or the new record's typed name
// (empty when they can, as far as the page's own part goes: editProblems
// then judges the edit against the archive).
std::vector<std::string> stagedEdit(const Host& host, const pack::Archive& archive, std::string_view changes,
                                    const std::map<std::string, std::string_view>& parts, pack::ArchiveEdit& edit);

// The same changes without their bytes, to judge names against the archive as
// it will be: every replacement and new record holds one placeholder byte.
std::vector<std::string> stagedNames(const Host& host, const pack::Archive& archive, std::string_view changes,
                                     pack::ArchiveEdit& edit);

// "record 12 SFX\BOOM.DIG", as the messages name a record (from 0).
std::string recordText(const Host& host, const pack::Archive& archive, int record);

}  // namespace quill::web
