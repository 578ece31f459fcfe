// Whole-file writes into a pinned folder.
#pragma once

#include <string>
#include <string_view>

#include "../error.h"
#include "folder.h"

namespace zur::win {

// Opens what `path` leads to for writing, following a reparse point that is
// no link (a cloud placeholder is then filled in by its sync engine).
unique_file open_for_writing(const std::u16string& path);

// Writes `bytes` as the whole content of the file `name` in `folder`:
// created when missing, cut to length zero when present, open to other
// readers, writers and deleters while it is written. The name is looked at
// itself first (classify_name), and every handle is checked to be the file
// of that name in the folder held: a link is never written through (a new
// file is written beside it and renamed over that name), and a file that
// turns out to lie elsewhere is removed again and the write fails with
// ERROR_CANT_RESOLVE_FILENAME. `open` is the open that writes an existing
// file (open_for_writing; the tests hand in others).
IoStatus write_file(const PinnedFolder& folder, std::u16string_view name, std::string_view bytes,
                    unique_file (*open)(const std::u16string&) = open_for_writing);

}  // namespace zur::win
