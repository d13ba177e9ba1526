// The writer list itself: saving with no writers at all, and the lists restored afterwards.
#include "engine/registry.h"
#include "engine/stream.h"
#include "tests/common/registryhooks.h"

#include <gtest/gtest.h>

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
  // Every extension has one reader and the lists stay in extension order.
  auto Readers = FileFormatReaders();
  // The 18 classic readers in extension order, then the later formats in extension order.
  ASSERT_EQ(Readers.size(), 23u);
  for (size_t I = 1; I < Readers.size(); ++I)
    if (Readers[I - 1]->ListGroup == Readers[I]->ListGroup)
      EXPECT_LT(Readers[I - 1]->Extension, Readers[I]->Extension);
    else
      EXPECT_LT(Readers[I - 1]->ListGroup, Readers[I]->ListGroup);
  EXPECT_EQ(Readers[17]->Extension, "wmf");
  EXPECT_EQ(Readers[18]->Extension, "avif");
  EXPECT_EQ(FileFormatWriters().size(), 14u);
}
