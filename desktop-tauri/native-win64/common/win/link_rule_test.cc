#include "link_rule.h"

#include <gtest/gtest.h>

namespace zur::win {
namespace {

// The facts a real NTFS volume shows (Wine makes no reparse points and no
// object-namespace links), and what the write makes of them. Tags as
// Microsoft documents them: symbolic link 0xA000000C, junction 0xA0000003,
// WSL symbolic link 0xA000001D, cloud files 0x9000001A and 0x9000601A,
// OneDrive 0x80000021, deduplication 0x80000013, WOF-compressed 0x80000017,
// app execution alias 0x8000001B.
TEST(ClassifyName, TrustsOnlyANameThatLeadsToItsOwnFile) {
  constexpr std::uint32_t kReparse = 0x400, kArchive = 0x20, kOffline = 0x1000, kRecallOnOpen = 0x40000,
                          kRecallOnDataAccess = 0x400000;
  const std::u16string folder = u"C:\\Users\\ana\\OneDrive\\Z";
  const std::u16string file = folder + u"\\tauri.conf.json";
  const struct {
    std::string_view what;
    NameFacts facts;
    NameKind kind;
  } cases[] = {
      {"an ordinary file", {kArchive, 0, 1, file, folder}, NameKind::Ordinary},
      {"names differing in case only", {kArchive, 0, 1, u"C:\\USERS\\ana\\onedrive\\z\\TAURI.conf.json", folder},
       NameKind::Ordinary},
      {"a symbolic link", {kReparse, 0xA000000C, 1, file, folder}, NameKind::Link},
      {"a junction", {kReparse | 0x10, 0xA0000003, 1, file, folder}, NameKind::Link},
      {"a WSL symbolic link", {kReparse, 0xA000001D, 1, file, folder}, NameKind::Link},
      {"a reparse point whose tag could not be read", {kReparse, 0, 1, file, folder}, NameKind::Link},
      {"a cloud placeholder", {kReparse | kOffline | kRecallOnOpen, 0x9000001A, 1, file, folder}, NameKind::ReparseFile},
      {"a dehydrated cloud file", {kReparse | kOffline | kRecallOnDataAccess, 0x9000001A, 1, file, folder},
       NameKind::ReparseFile},
      {"a cloud file of another provider", {kReparse, 0x9000601A, 1, file, folder}, NameKind::ReparseFile},
      {"a OneDrive file", {kReparse, 0x80000021, 1, file, folder}, NameKind::ReparseFile},
      {"a deduplicated file", {kReparse | kArchive, 0x80000013, 1, file, folder}, NameKind::ReparseFile},
      {"a compressed system file", {kReparse, 0x80000017, 1, file, folder}, NameKind::ReparseFile},
      {"an app execution alias", {kReparse, 0x8000001B, 1, file, folder}, NameKind::Link},
      {"a cloud file with a second name", {kReparse, 0x9000001A, 2, file, folder}, NameKind::Link},
      {"a hard link", {kArchive, 0, 2, file, folder}, NameKind::Link},
      {"a link count that could not be read", {kArchive, 0, 0, file, folder}, NameKind::Link},
      {"a Unix symbolic link under Wine", {kArchive, 0, 1, u"C:\\Users\\ana\\Documents\\secret.txt", folder},
       NameKind::Link},
      {"a tag that is no link, leading elsewhere", {kReparse, 0x9000001A, 1, u"D:\\other.json", folder}, NameKind::Link},
      {"a folder the system cannot name (a junction into \\RPC Control)", {kArchive, 0, 1, file, u""},
       NameKind::Link},
      {"a file the system does not name", {kArchive, 0, 1, u"", folder}, NameKind::Link},
      {"a folder reached through a junction, named as its target",
       {kArchive, 0, 1, u"D:\\Moved\\Z\\tauri.conf.json", u"D:\\Moved\\Z"}, NameKind::Ordinary},
      {"a root folder", {kArchive, 0, 1, u"D:\\tauri.conf.json", u"D:\\"}, NameKind::Ordinary},
  };
  for (const auto& c : cases) EXPECT_EQ(classify_name(c.facts, u"tauri.conf.json"), c.kind) << c.what;
}

// File ids as FileIdInfo gives them: NTFS and ReFS give their own, a file
// system without 128-bit ids gives zeros, which tell nothing.
TEST(SameFileId, OnlyAKnownIdOnOneVolume) {
  const auto id = [](std::uint64_t volume, unsigned char first, unsigned char last) {
    FILE_ID_INFO info{volume, {}};
    info.FileId.Identifier[0] = first;
    info.FileId.Identifier[15] = last;
    return info;
  };
  const struct {
    std::string_view what;
    FILE_ID_INFO a, b;
    bool same;
  } cases[] = {
      {"one file", id(7, 1, 2), id(7, 1, 2), true},
      {"an id that differs in its last byte", id(7, 1, 2), id(7, 1, 3), false},
      {"the same id on another volume", id(7, 1, 2), id(8, 1, 2), false},
      {"zero ids: a file system without them", id(7, 0, 0), id(7, 0, 0), false},
      {"a zero id beside a known one", id(7, 0, 0), id(7, 1, 2), false},
  };
  for (const auto& c : cases) EXPECT_EQ(same_file_id(c.a, c.b), c.same) << c.what;
}

}  // namespace
}  // namespace zur::win
