// The writer list itself: saving with no writers at all, and the lists restored afterwards.
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/registryhooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>

using namespace orbisk;

TEST(RegistryLists, SavingWithoutWritersAndRestoring) {
  TPixelGraphic G;
  G.SetSize(2, 2, 3);
  ClearWritersForTest();
  TPGMemoryStream S;
  try {
    G.SaveToStreamExt(S, "bmp");
    FAIL();
  } catch (const EPGFileFormatWritersEmpty& E) {
    EXPECT_STREQ(E.what(), "FileFormatWriters is empty");
  }
  ResetFormatLists();
  G.SaveToStreamExt(S, "bmp");
  EXPECT_GT(S.Size(), 54);
  // Every extension has one reader and one writer at most, and the readers stay in order: the
  // classic formats by extension, then the later formats by extension.
  const auto Readers = FileFormatReaders();
  ASSERT_FALSE(Readers.empty());
  std::set<std::string> Seen;
  for (size_t I = 0; I < Readers.size(); ++I) {
    EXPECT_TRUE(Seen.insert(Readers[I]->Extension).second) << Readers[I]->Extension;
    if (I == 0) continue;
    if (Readers[I - 1]->ListGroup == Readers[I]->ListGroup)
      EXPECT_LT(Readers[I - 1]->Extension, Readers[I]->Extension);
    else
      EXPECT_LT(Readers[I - 1]->ListGroup, Readers[I]->ListGroup);
  }
  const auto Later = std::find_if(Readers.begin(), Readers.end(), [&](const auto* R) {
    return R->ListGroup != Readers.front()->ListGroup;
  });
  ASSERT_NE(Later, Readers.end());
  EXPECT_EQ((*std::prev(Later))->Extension, "wmf");
  EXPECT_EQ((*Later)->Extension, "avif");
  std::set<std::string> Written;
  for (const auto* W : FileFormatWriters()) {
    EXPECT_TRUE(Written.insert(W->Extension).second) << W->Extension;
    EXPECT_TRUE(Seen.count(W->Extension)) << "a writer without a reader: " << W->Extension;
  }
}
