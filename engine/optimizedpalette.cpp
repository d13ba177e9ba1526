// Optimized palettes: a median cut over a colour histogram for true-colour pictures and an
// octree over the used palette entries for palette pictures.
#include "engine/optimizedpalette.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace orbisk {
namespace {

// ---- median cut ---------------------------------------------------------------------------

constexpr int kR = 32, kG = 64, kB = 32;

struct THistogram {
  std::vector<uint16_t> Cells = std::vector<uint16_t>(size_t(kR) * kG * kB, 0);
  uint16_t& At(int R, int G, int B) { return Cells[(size_t(R) * kG + size_t(G)) * kB + size_t(B)]; }
  uint16_t At(int R, int G, int B) const {
    return Cells[(size_t(R) * kG + size_t(G)) * kB + size_t(B)];
  }
};

struct TBox {
  int R0, R1, G0, G1, B0, B1;
  int64_t Volume = 0, Spread = 0;
};

bool PlaneEmpty(const THistogram& H, const TBox& B, int Axis, int V) {
  for (int R = Axis == 0 ? V : B.R0; R <= (Axis == 0 ? V : B.R1); ++R)
    for (int G = Axis == 1 ? V : B.G0; G <= (Axis == 1 ? V : B.G1); ++G)
      for (int Bl = Axis == 2 ? V : B.B0; Bl <= (Axis == 2 ? V : B.B1); ++Bl)
        if (H.At(R, G, Bl)) return false;
  return true;
}

// Moves every bound inward past empty planes, then recomputes volume and spread.
void Shrink(const THistogram& H, TBox& B) {
  while (B.R0 < B.R1 && PlaneEmpty(H, B, 0, B.R0))
    ++B.R0;
  while (B.R1 > B.R0 && PlaneEmpty(H, B, 0, B.R1))
    --B.R1;
  while (B.G0 < B.G1 && PlaneEmpty(H, B, 1, B.G0))
    ++B.G0;
  while (B.G1 > B.G0 && PlaneEmpty(H, B, 1, B.G1))
    --B.G1;
  while (B.B0 < B.B1 && PlaneEmpty(H, B, 2, B.B0))
    ++B.B0;
  while (B.B1 > B.B0 && PlaneEmpty(H, B, 2, B.B1))
    --B.B1;
  const int64_t DR = B.R1 - B.R0, DG = B.G1 - B.G0, DB = B.B1 - B.B0;
  B.Volume = (DR + 1) * (DG + 1) * (DB + 1);
  B.Spread = (DR * 16) * (DR * 16) + (DG * 12) * (DG * 12) + (DB * 16) * (DB * 16);
}

TRGB BoxColor(const THistogram& H, const TBox& B) {
  int64_t N = 0, SR = 0, SG = 0, SB = 0;
  for (int R = B.R0; R <= B.R1; ++R)
    for (int G = B.G0; G <= B.G1; ++G)
      for (int Bl = B.B0; Bl <= B.B1; ++Bl) {
        const int64_t C = H.At(R, G, Bl);
        N += C;
        SR += C * (8 * R + 4);
        SG += C * (4 * G + 2);
        SB += C * (8 * Bl + 4);
      }
  if (N == 0) return 0;
  return RGBOf(unsigned((SR + N / 2) / N), unsigned((SG + N / 2) / N), unsigned((SB + N / 2) / N));
}

std::vector<TRGB> MedianCut(TPixelGraphic& Dest, const TPixelGraphic& Source, int N) {
  THistogram H;
  const int W = Source.Width(), Rows = Source.Height();
  for (int Y = 0; Y < Rows; ++Y) {
    const uint8_t* P = Source.ScanLine(Y);
    for (int X = 0; X < W; ++X, P += 3) {
      uint16_t& C = H.At(P[2] >> 3, P[1] >> 2, P[0] >> 3);
      if (C < 65535) ++C;
    }
    if (Dest.DoProgress(Y, Rows)) break;
  }
  std::vector<TBox> Boxes = {{0, kR - 1, 0, kG - 1, 0, kB - 1}};
  Shrink(H, Boxes[0]);
  while (int(Boxes.size()) < N) {
    const bool BySpread = N < 2 * int(Boxes.size());
    int Best = -1;
    for (int I = 0; I < int(Boxes.size()); ++I) {
      const TBox& B = Boxes[size_t(I)];
      if (B.Spread <= 0) continue;
      if (Best < 0) {
        Best = I;
        continue;
      }
      const TBox& Cur = Boxes[size_t(Best)];
      if (BySpread ? B.Spread > Cur.Spread : B.Volume > Cur.Volume) Best = I;
    }
    if (Best < 0) break;
    TBox Old = Boxes[size_t(Best)];
    TBox New = Old;
    const int DR = (Old.R1 - Old.R0) * 16, DG = (Old.G1 - Old.G0) * 12, DB = (Old.B1 - Old.B0) * 16;
    if (DB > DG && DB > DR) {
      const int M = (Old.B0 + Old.B1) / 2;
      Old.B1 = M, New.B0 = M + 1;
    } else if (DR > DG) {
      const int M = (Old.R0 + Old.R1) / 2;
      Old.R1 = M, New.R0 = M + 1;
    } else {
      const int M = (Old.G0 + Old.G1) / 2;
      Old.G1 = M, New.G0 = M + 1;
    }
    Shrink(H, Old);
    Shrink(H, New);
    Boxes[size_t(Best)] = Old;
    Boxes.push_back(New);
  }
  std::vector<TRGB> Out;
  for (const TBox& B : Boxes)
    Out.push_back(BoxColor(H, B));
  return Out;
}

// ---- octree -------------------------------------------------------------------------------

struct TNode {
  int Level = 0;
  bool Leaf = false;
  bool Listed = false;
  bool Gone = false;
  int64_t Count = 0, SR = 0, SG = 0, SB = 0;
  std::array<TNode*, 8> Child{};
  int Children() const {
    return int(std::count_if(Child.begin(), Child.end(), [](TNode* C) { return C != nullptr; }));
  }
  int64_t Weight() const { return 2 * SR + 3 * SG + SB; }
};

class TOctree {
public:
  explicit TOctree(int MaxLeaves) : FMax(MaxLeaves) { FRoot = NewNode(0, false); }

  void Insert(TRGB C, int64_t Count) {
    const unsigned R = RedOf(C), G = GreenOf(C), B = BlueOf(C);
    TNode* Node = FRoot;
    for (;;) {
      Node->Count += Count;
      Node->SR += Count * R;
      Node->SG += Count * G;
      Node->SB += Count * B;
      if (Node->Leaf || Node->Level >= FDepth) break;
      const int Bit = 7 - Node->Level;
      const int I = (((R >> Bit) & 1) << 2) | (((G >> Bit) & 1) << 1) | ((B >> Bit) & 1);
      TNode*& Next = Node->Child[size_t(I)];
      if (!Next) {
        Next = NewNode(Node->Level + 1, Node->Level + 1 >= FDepth);
      } else if (Node->Children() > 1 && !Node->Listed) {
        Node->Listed = true;
        FReducible[size_t(Node->Level)].insert(FReducible[size_t(Node->Level)].begin(), Node);
      }
      Node = Next;
    }
    if (FLeaves > FMax) Reduce();
  }

  std::vector<TRGB> Colors() const {
    std::vector<TRGB> Out;
    Collect(FRoot, Out);
    return Out;
  }

private:
  TNode* NewNode(int Level, bool Leaf) {
    FPool.push_back(std::make_unique<TNode>());
    TNode* N = FPool.back().get();
    N->Level = Level;
    N->Leaf = Leaf;
    if (Leaf) ++FLeaves;
    return N;
  }

  void Reduce() {
    TNode* Victim = nullptr;
    for (int L = FDepth - 1; L >= 0 && !Victim; --L) {
      auto& List = FReducible[size_t(L)];
      // Nodes deleted with a reduced parent, or reduced already, are no longer candidates.
      std::erase_if(List, [](TNode* N) { return N->Gone || N->Leaf; });
      auto Best = List.end();
      for (auto It = List.begin(); It != List.end(); ++It)
        if (Best == List.end() || (*It)->Weight() < (*Best)->Weight()) Best = It;
      if (Best != List.end()) {
        Victim = *Best;
        List.erase(Best);
      }
    }
    // Few, widely spread colours may leave every list empty: then the deepest node with two
    // or more children is reduced, so the leaf count always comes down.
    if (!Victim) Victim = DeepestBranch(FRoot);
    if (!Victim) return;
    for (TNode*& C : Victim->Child) {
      if (C) Delete(C);
      C = nullptr;
    }
    Victim->Leaf = true;
    ++FLeaves;
    if (Victim->Level < FDepth - 1) FDepth = Victim->Level + 1;
  }

  TNode* DeepestBranch(TNode* N) const {
    if (!N || N->Leaf) return nullptr;
    TNode* Best = N->Children() >= 2 ? N : nullptr;
    for (TNode* C : N->Child) {
      TNode* D = DeepestBranch(C);
      if (D && (!Best || D->Level > Best->Level ||
                (D->Level == Best->Level && D->Weight() < Best->Weight())))
        Best = D;
    }
    return Best;
  }

  void Delete(TNode* N) {
    N->Gone = true;
    if (N->Leaf) --FLeaves;
    for (TNode* C : N->Child)
      if (C) Delete(C);
  }

  static void Collect(const TNode* N, std::vector<TRGB>& Out) {
    if (!N) return;
    if (N->Leaf) {
      if (N->Count > 0)
        Out.push_back(RGBOf(unsigned(N->SR / N->Count), unsigned(N->SG / N->Count),
                            unsigned(N->SB / N->Count)));
      return;
    }
    for (const TNode* C : N->Child)
      Collect(C, Out);
  }

  int FMax;
  int FDepth = 8;
  int FLeaves = 0;
  TNode* FRoot;
  std::array<std::vector<TNode*>, 8> FReducible;
  std::vector<std::unique_ptr<TNode>> FPool;
};

// Sparse palettes can make the tree above collapse: when only the root was ever listed, reducing
// it leaves a single colour. Then the reduction is done the way octree quantisers do it: all
// colours start as leaves at full depth; the deepest node holding two or more leaves, the one
// with the fewest pixels first, has its two smallest leaves merged into one; until K are left.
struct TLeaf {
  TRGB Key = 0; // one colour of the leaf: its path through the tree
  int Level = 8;
  int64_t Count = 0, SR = 0, SG = 0, SB = 0;
};

// The node at Level on the path of colour C (its top Level bits of each channel).
uint32_t PathAt(TRGB C, int Level) {
  if (Level == 0) return 0;
  const int Shift = 8 - Level;
  return (RedOf(C) >> Shift) << 16 | (GreenOf(C) >> Shift) << 8 | (BlueOf(C) >> Shift);
}

// Depth-first tree order: the channel bits interleaved from the top, red first.
uint32_t TreeOrder(TRGB C) {
  uint32_t Key = 0;
  for (int Bit = 7; Bit >= 0; --Bit)
    Key = Key << 3 | ((RedOf(C) >> Bit) & 1) << 2 | ((GreenOf(C) >> Bit) & 1) << 1 |
          ((BlueOf(C) >> Bit) & 1);
  return Key;
}

std::vector<TRGB> SpreadReduction(std::vector<TLeaf> Leaves, int K) {
  while (int(Leaves.size()) > K) {
    // The deepest level at which two leaves share a node.
    int Deepest = -1;
    for (size_t A = 0; A < Leaves.size(); ++A)
      for (size_t B = A + 1; B < Leaves.size(); ++B) {
        int L = std::min(Leaves[A].Level, Leaves[B].Level);
        while (L > Deepest && PathAt(Leaves[A].Key, L) != PathAt(Leaves[B].Key, L))
          --L;
        Deepest = std::max(Deepest, L);
      }
    // Among the nodes at that level holding two or more leaves, the one with the fewest pixels.
    struct TGroup {
      uint32_t Path;
      int64_t Count = 0;
      std::vector<size_t> Members;
    };
    std::vector<TGroup> Groups;
    for (size_t I = 0; I < Leaves.size(); ++I) {
      if (Leaves[I].Level < Deepest) continue;
      const uint32_t P = PathAt(Leaves[I].Key, Deepest);
      auto It =
          std::find_if(Groups.begin(), Groups.end(), [&](const TGroup& G) { return G.Path == P; });
      if (It == Groups.end()) It = Groups.insert(Groups.end(), TGroup{P, 0, {}});
      It->Count += Leaves[I].Count;
      It->Members.push_back(I);
    }
    const TGroup* Best = nullptr;
    for (const TGroup& G : Groups)
      if (G.Members.size() >= 2 && (!Best || G.Count < Best->Count)) Best = &G;
    if (!Best) break;
    // Its two leaves with the fewest pixels become one leaf at that node.
    std::vector<size_t> M = Best->Members;
    std::stable_sort(M.begin(), M.end(),
                     [&](size_t A, size_t B) { return Leaves[A].Count < Leaves[B].Count; });
    TLeaf& Into = Leaves[M[0]];
    const TLeaf& From = Leaves[M[1]];
    Into.Count += From.Count;
    Into.SR += From.SR;
    Into.SG += From.SG;
    Into.SB += From.SB;
    Into.Level = Deepest;
    Leaves.erase(Leaves.begin() + std::ptrdiff_t(M[1]));
  }
  std::stable_sort(Leaves.begin(), Leaves.end(), [](const TLeaf& A, const TLeaf& B) {
    return TreeOrder(A.Key) < TreeOrder(B.Key);
  });
  std::vector<TRGB> Out;
  for (const TLeaf& L : Leaves)
    if (L.Count > 0)
      Out.push_back(
          RGBOf(unsigned(L.SR / L.Count), unsigned(L.SG / L.Count), unsigned(L.SB / L.Count)));
  return Out;
}

std::vector<TRGB> Octree(TPixelGraphic& Dest, const TPixelGraphic& Source, int N) {
  std::array<int64_t, 256> Used{};
  const int W = Source.Width(), Rows = Source.Height(), Bits = Source.BitCount();
  for (int Y = 0; Y < Rows; ++Y) {
    const uint8_t* P = Source.ScanLine(Y);
    for (int X = 0; X < W; ++X) {
      unsigned V;
      if (Bits == 8)
        V = P[X];
      else if (Bits == 4)
        V = (X & 1) ? (P[X / 2] & 0x0F) : (P[X / 2] >> 4);
      else
        V = (P[X / 8] >> (7 - X % 8)) & 1;
      ++Used[V];
    }
    if (Dest.DoProgress(Y, Rows)) break;
  }
  TOctree Tree(N);
  const auto& Pal = Source.Palette();
  std::vector<TLeaf> Distinct;
  for (size_t I = 0; I < Used.size(); ++I) {
    if (!Used[I]) continue;
    // Indices beyond the palette show entry 0, as the picture itself does.
    const TRGB C = I < Pal.size() ? Pal[I] : (Pal.empty() ? 0 : Pal[0]);
    Tree.Insert(C, Used[I]);
    auto It =
        std::find_if(Distinct.begin(), Distinct.end(), [&](const TLeaf& L) { return L.Key == C; });
    if (It == Distinct.end()) It = Distinct.insert(Distinct.end(), TLeaf{C});
    It->Count += Used[I];
    It->SR += Used[I] * RedOf(C);
    It->SG += Used[I] * GreenOf(C);
    It->SB += Used[I] * BlueOf(C);
  }
  std::vector<TRGB> Colors = Tree.Colors();
  // The tree's result stands when it kept as many colours as it could.
  if (int(Colors.size()) >= std::min(int(Distinct.size()), N)) return Colors;
  return SpreadReduction(std::move(Distinct), N);
}

} // namespace

void BuildOptimizedPalette(TPixelGraphic& Dest, const TPixelGraphic& Source, int Count,
                           bool IncludeSystem16) {
  const int N = IncludeSystem16 ? Count - 16 : Count;
  if (Source.Empty() || N < 1) {
    Dest.SetPaletteKind(pSys16);
    Dest.SetPaletteCount(std::clamp(Count, 0, 16));
    return;
  }
  std::vector<TRGB> Colors;
  {
    TProgressScope Progress(Dest);
    Colors = Source.BitCountNum() == 3 ? MedianCut(Dest, Source, N) : Octree(Dest, Source, N);
  }
  if (IncludeSystem16) {
    const auto& Sys = StandardPalette(pSys16);
    for (size_t I = 0; I < Sys.size() && int(Colors.size()) < Count; ++I)
      Colors.push_back(Sys[I]);
  }
  Dest.SetPaletteCount(0);
  Dest.SetPaletteCount(int(Colors.size()));
  for (int I = 0; I < int(Colors.size()); ++I)
    Dest.SetPaletteEntry(I, Colors[size_t(I)]);
}

// ---------------------------------------------------------------------------------------------
// colour matching on several threads

bool MatchIsPure(const TPixelGraphic& G) {
  const TPaletteIdent K = G.PaletteKind();
  if (K == pTrueColor) return true;
  if (K == pUnknown) return !G.ColorCache();
  return K >= pBlackWhite && K <= pSpecial252;
}

std::unique_ptr<TPixelGraphic> MatchTwin(const TPixelGraphic& G) {
  auto T = std::make_unique<TPixelGraphic>();
  T->SetRGBWeighting(G.RGBWeighting());
  T->SetColorCache(G.ColorCache());
  const TPaletteIdent K = G.PaletteKind();
  if (K == pUnknown) {
    T->SetPaletteCount(G.PaletteCount());
    T->SetPaletteKind(pUnknown);
    for (int I = 0; I < G.PaletteCount(); ++I)
      T->SetPaletteEntry(I, G.GetPaletteEntry(I));
  } else {
    // The standard kinds match by their own tables, whatever entries the picture holds.
    T->SetPaletteKind(K);
  }
  return T;
}

} // namespace orbisk
