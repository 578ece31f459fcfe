// What a handle tells of the place of its file, and what it does there,
// for the whole-file writes into a pinned folder (write.h).
#pragma once

#include <string_view>

#include "../error.h"
#include "folder.h"
#include "link_rule.h"

namespace zur::win {

// What the system shows of the file open as `file` (opened itself, with
// FILE_FLAG_OPEN_REPARSE_POINT) in `folder`; what it does not show stays
// unknown (empty, zero).
NameFacts facts_of(HANDLE file, const PinnedFolder& folder);

// The file `file` is open on is `name` in the folder held.
bool inside(HANDLE file, const PinnedFolder& folder, std::u16string_view name);

// Both handles are open on one file (same_file_id).
bool same_file(HANDLE a, HANDLE b);

// Removes the file open as `file` through its handle, whatever its name
// leads to by now.
void discard(HANDLE file);

// Renames the file open as `file` to `name` in the folder held, replacing
// what stands there: the name itself, never what a link leads to. Fails
// with ERROR_CANT_RESOLVE_FILENAME when the file is not then `name` in the
// folder.
IoStatus rename_into(HANDLE file, const PinnedFolder& folder, std::u16string_view name);

}  // namespace zur::win
