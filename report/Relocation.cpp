// Base relocation of a loaded image, made lazily page by page.
#include "Relocation.h"

#include <algorithm>
#include <memory>

#include "ByteView.h"
#include "Errors.h"
#include "Numbers.h"
#include "PeFormat.h"

namespace korvane {

using pe::BaseRelocation;

namespace {

constexpr std::uint32_t PageSize = ImagePageSize;

} // namespace

void TBaseRelocation::BeginBlock(std::uint32_t virtualAddress) {
  FBlockRva = virtualAddress;
  FBlockRecorded = false;
}

void TBaseRelocation::RecordTarget(std::uint16_t entry, std::uint32_t width) {
  if (FTargets.size() == MaxRelocationTargets)
    throw TFormatError("The base relocation blocks name more than " + Decimal(MaxRelocationTargets) +
                       " targets; the report stops here");
  if (!FBlockRecorded) {
    if (FBlocks.size() == MaxRelocationBlocks)
      throw TFormatError("More than " + Decimal(MaxRelocationBlocks) +
                         " base relocation blocks name targets; the report stops here");
    if (FPageFirst.empty()) {
      FPageFirst.assign((FImageSize - 1) / PageSize + 1, NoBlock);
      FPageLast.assign(FPageFirst.size(), NoBlock);
    }
    // A target lies below SizeOfImage, and its block's VirtualAddress below it.
    const std::uint32_t page = FBlockRva / PageSize;
    const auto index = static_cast<std::uint32_t>(FBlocks.size());
    FBlocks.push_back(TTargetBlock{FBlockRva, static_cast<std::uint32_t>(FTargets.size()), NoBlock});
    if (FPageFirst[page] == NoBlock)
      FPageFirst[page] = index;
    else
      FBlocks[FPageLast[page]].NextInPage = index;
    FPageLast[page] = index;
    FBlockRecorded = true;
  }
  TTarget target{};
  target.Offset = entry & BaseRelocation::OffsetMask;
  target.Wide = width == 8 ? 1 : 0;
  FTargets.push_back(target);
}

template <typename Visit>
bool TBaseRelocation::VisitTargets(std::uint32_t page, TPageProgress& progress, Visit visit) {
  // The targets of a block lie within 4095 + MaxWidth bytes of its
  // VirtualAddress: they reach into the page only from blocks whose
  // VirtualAddress lies in it or in one of the two pages before it. Each list holds blocks in their
  // order; the last block seen is looked at again, since the block being
  // read may have gained targets since.
  const std::uint64_t pageStart = std::uint64_t{page} * PageSize;
  const std::uint64_t pageEnd = pageStart + PageSize;
  const auto total = static_cast<std::uint32_t>(FTargets.size());
  std::uint32_t next[3];
  for (std::uint32_t i = 0; i < 3; ++i) {
    const std::uint32_t listPage = page - 2 + i;
    if (page + i < 2 || listPage >= FPageFirst.size())
      next[i] = NoBlock;
    else
      next[i] = progress.LastBlock[i] != NoBlock ? progress.LastBlock[i] : FPageFirst[listPage];
  }
  for (;;) {
    std::uint32_t list = 3;
    for (std::uint32_t i = 0; i < 3; ++i)
      if (next[i] != NoBlock && (list == 3 || next[i] < next[list]))
        list = i;
    if (list == 3)
      break;
    const std::uint32_t block = next[list];
    const TTargetBlock& record = FBlocks[block];
    const std::uint32_t last = block + 1 < FBlocks.size() ? FBlocks[block + 1].First : total;
    for (std::uint32_t index = std::max(record.First, progress.Done); index < last; ++index) {
      const std::uint64_t target = std::uint64_t{record.VirtualAddress} + FTargets[index].Offset;
      if (target + FTargets[index].Width() > pageStart && target < pageEnd &&
          !visit(index, static_cast<std::uint32_t>(target))) {
        progress.Done = index;
        progress.LastBlock[list] = block;
        return false;
      }
    }
    progress.Done = std::max(progress.Done, last);
    progress.LastBlock[list] = block;
    next[list] = record.NextInPage;
  }
  progress.Done = total;
  return true;
}

bool TBaseRelocation::AddToPage(std::uint32_t page, std::uint8_t* bytes, TPageProgress& progress) {
  const std::uint64_t pageStart = std::uint64_t{page} * PageSize;
  return VisitTargets(page, progress, [&](std::uint32_t index, std::uint32_t target) {
    const std::uint32_t width = FTargets[index].Width();
    // A double word takes the low 32 bits of Delta.
    const std::uint64_t delta = width == 8 ? FDelta : FDelta & 0xFFFFFFFFu;
    if (target < pageStart) {
      // The target begins below the page: its upper bytes here get the
      // upper part of Delta plus the carry out of its lower bytes.
      const auto below = static_cast<std::uint32_t>(pageStart - target);
      const TTarget& carrying = FTargets[index];
      if (!carrying.CarryKnown)
        return false;
      const std::uint32_t here = width - below;
      StoreBytes(bytes, here, LoadBytes(bytes, here) + (delta >> (8 * below)) + carrying.CarriesOne);
    } else if (target - pageStart > PageSize - width) {
      // It runs past the page: its lower bytes are here; what they carry
      // into the next page is kept with the target.
      const auto here = static_cast<std::uint32_t>(pageStart + PageSize - target);
      std::uint8_t* p = bytes + (target - pageStart);
      const std::uint64_t sum = LoadBytes(p, here) + (delta & ((std::uint64_t{1} << (8 * here)) - 1));
      StoreBytes(p, here, sum);
      FTargets[index].CarryKnown = 1;
      FTargets[index].CarriesOne = (sum >> (8 * here)) & 1u;
    } else if (width == 4) {
      std::uint8_t* p = bytes + (target - pageStart);
      StoreBytes(p, 4, LoadDWord(p) + delta);
    } else {
      std::uint8_t* p = bytes + (target - pageStart);
      StoreBytes(p, 8, LoadValue<std::uint64_t>(p) + delta);
    }
    ++FWork.AdditionsMade;
    return true;
  });
}

void TBaseRelocation::CopyPage(std::uint32_t page) {
  if (FWork.PagesCopied == MaxRelocatedPages)
    throw TFormatError("The reads of the listings need more than " + Decimal(MaxRelocatedPages) +
                       " relocated pages; the report stops here");
  FPageStates[page].Copy = FPages.CopyPage(page);
  ++FWork.PagesCopied;
}

void TBaseRelocation::NeedBytes(std::uint64_t rva, std::uint64_t count) {
  if (FTargets.empty())
    return;
  for (std::uint64_t page = rva / PageSize; page <= (rva + count - 1) / PageSize; ++page)
    NeedPage(static_cast<std::uint32_t>(page));
}

void TBaseRelocation::NeedPage(std::uint32_t page) {
  TPageState& state = FPageStates[page];
  if (state.Progress.Done == FTargets.size())
    return;
  if (state.Copy == nullptr) {
    // A page that no target reaches is never copied.
    if (VisitTargets(page, state.Progress, [](std::uint32_t, std::uint32_t) { return false; }))
      return;
    CopyPage(page);
  }
  while (!AddToPage(page, state.Copy, state.Progress))
    LearnCarries(page - 1);
}

void TBaseRelocation::LearnCarries(std::uint32_t page) {
  // The carries of a page depend on those into it from the page below, and
  // so on down: the pages are worked out from the lowest one still needed,
  // in a scratch page, unless they are copies already. While targets are
  // still recorded, a page may need this again later: it is then copied,
  // so that its additions are made once.
  std::vector<std::uint32_t> pages{page};
  std::unique_ptr<std::uint8_t[]> scratch;
  while (!pages.empty()) {
    const std::uint32_t current = pages.back();
    TPageState& state = FPageStates[current];
    // Look for a carry into the page that is not known yet before the page
    // is worked out, so that each page is worked out once.
    const std::uint64_t pageStart = std::uint64_t{current} * PageSize;
    TPageProgress probe = state.Progress;
    if (!VisitTargets(current, probe, [&](std::uint32_t index, std::uint32_t target) {
          return target >= pageStart || FTargets[index].CarryKnown;
        })) {
      pages.push_back(current - 1);
      continue;
    }
    if (state.Copy == nullptr && FRecording)
      CopyPage(current);
    bool done;
    if (state.Copy != nullptr) {
      done = AddToPage(current, state.Copy, state.Progress);
    } else {
      if (!scratch)
        scratch = std::make_unique<std::uint8_t[]>(PageSize);
      FPages.FillPage(current, scratch.get());
      ++FWork.PagesReplayed;
      TPageProgress progress = state.Progress;
      done = AddToPage(current, scratch.get(), progress);
    }
    if (done)
      pages.pop_back();
    else
      pages.push_back(current - 1);
  }
}

void TBaseRelocation::ApplyEverything() {
  for (const TTargetBlock& block : FBlocks) {
    // The last byte a target of the block can touch: the widest at its
    // largest offset.
    const std::uint64_t reach = std::uint64_t{block.VirtualAddress} + BaseRelocation::OffsetMask + MaxWidth - 1;
    const std::uint64_t last = std::min<std::uint64_t>(reach / PageSize, FPageFirst.size() - 1);
    for (std::uint64_t page = block.VirtualAddress / PageSize; page <= last; ++page)
      NeedPage(static_cast<std::uint32_t>(page));
  }
}

void TBaseRelocation::Forget() {
  FTargets.clear();
  FBlocks.clear();
  FPageFirst.clear();
  FPageLast.clear();
  FPageStates.clear();
}

void TBaseRelocation::BeginPass(std::uint64_t delta, std::uint32_t tableSize) {
  // A second pass adds its own Delta: the first one is finished before.
  if (!FTargets.empty()) {
    ApplyEverything();
    Forget();
  }
  FDelta = delta;
  FRecording = true;
  // Room for the entries a real table of this size holds; a crafted size
  // gets no more than a few MiB before the entries are read.
  FTargets.reserve(std::min(static_cast<std::size_t>(tableSize / BaseRelocation::EntrySize), std::size_t{1} << 21));
}

} // namespace korvane
