// The reader that checks korvane.dll's own tables for either build: it must
// read PE32 and PE32+ alike and name every way a module can fail a host.
#include <gtest/gtest.h>

#include <functional>

#include "Errors.h"
#include "ModuleTable.h"
#include "PeBuilder.h"
#include "TestSupport.h"

namespace korvane::test {
namespace {

TEST(ModuleTable, ReadsExportsAndImportsOfBothWidths) {
  for (const bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "PE32+" : "PE32");
    TPeBuilder builder;
    if (wide)
      builder.Pe32Plus().Machine(0x8664);
    builder.ExportBase(5)
        .Export("Alpha", 2)
        .Export("Beta", 0)
        .Import("KERNEL32.dll", {"ExitProcess"})
        .Import("user32.dll", {"MessageBoxA"});
    const TGuardedBytes bytes(builder.Build());
    const TModuleTables tables = ReadModuleTables(bytes.View());
    EXPECT_EQ(tables.Machine, wide ? 0x8664 : 0x14C);
    EXPECT_EQ(tables.Magic, wide ? 0x20B : 0x10B);
    EXPECT_EQ(tables.ExportName, "builder.dll");
    EXPECT_EQ(tables.OrdinalBase, 5u);
    EXPECT_EQ(tables.FunctionCount, 3u);
    EXPECT_EQ(tables.Exports, (std::vector<TModuleExport>{{"Alpha", 7}, {"Beta", 5}}));
    EXPECT_EQ(tables.ImportedLibraries, (std::vector<std::string>{"KERNEL32.dll", "user32.dll"}));
  }
}

TEST(ModuleTable, DamagedTablesFailInsteadOfReadingPastTheEnd) {
  TPeLayout layout;
  const TBytes good = TPeBuilder().Export("Alpha", 0).Build(&layout);
  std::size_t directory = 0;
  for (const auto& [virtualAddress, rawOffset] : layout.SectionStarts)
    if (virtualAddress == layout.ExportDirectory)
      directory = rawOffset;
  ASSERT_NE(directory, 0u);
  EXPECT_EQ(ReadModuleTables(TGuardedBytes(good).View()).Exports.size(), 1u);
  // NumberOfNames far beyond the file: the name pointers run out of the section.
  TBytes many = good;
  many[directory + 24] = 0xFF;
  many[directory + 27] = 0x7F;
  const TGuardedBytes bytes(many);
  EXPECT_THROW(ReadModuleTables(bytes.View()), TFormatError);
}

const std::string DynamicBase = "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE";
const std::string NxCompat = "IMAGE_DLLCHARACTERISTICS_NX_COMPAT";
const std::string HighEntropy = "IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA";

TModuleTables Korvane(TModuleMachine machine) {
  TModuleTables tables;
  tables.Machine = machine == TModuleMachine::Amd64 ? 0x8664 : 0x14C;
  tables.Magic = machine == TModuleMachine::Amd64 ? 0x20B : 0x10B;
  tables.DllCharacteristics = machine == TModuleMachine::Amd64 ? 0x0160 : 0x0140;
  tables.ExportName = "korvane.dll";
  tables.OrdinalBase = 1;
  tables.FunctionCount = 4;
  tables.Exports = {{"CreateViewerWindow", 4}, {"DestroyViewerWindow", 2}, {"GetLastErrorText", 1}, {"ShowFile", 3}};
  tables.ImportedLibraries = {"KERNEL32.dll", "comdlg32.dll", "msvcrt.dll"};
  return tables;
}

TEST(ModuleTable, EveryDepartureFromTheHostContractIsNamed) {
  const struct {
    const char* Name;
    std::function<void(TModuleTables&)> Change;
    std::vector<std::string> Faults;
  } rows[] = {
      {"as built", [](TModuleTables&) {}, {}},
      {"other machine", [](TModuleTables& t) { t.Machine = 0x8664; }, {"Machine 34404"}},
      {"other width", [](TModuleTables& t) { t.Magic = 0x20B; }, {"Magic 523"}},
      {"module name", [](TModuleTables& t) { t.ExportName = "korvane32.dll"; }, {"module name 'korvane32.dll'"}},
      {"ordinal base", [](TModuleTables& t) { t.OrdinalBase = 0; }, {"ordinal base 0"}},
      {"a fifth function", [](TModuleTables& t) { t.FunctionCount = 5; }, {"5 functions exported"}},
      {"decorated name",
       [](TModuleTables& t) { t.Exports[3].Name = "ShowFile@12"; },
       {"exported names: CreateViewerWindow@4 DestroyViewerWindow@2 GetLastErrorText@1 ShowFile@12@3"}},
      {"swapped ordinals",
       [](TModuleTables& t) { std::swap(t.Exports[0].Ordinal, t.Exports[1].Ordinal); },
       {"exported names: CreateViewerWindow@2 DestroyViewerWindow@4 GetLastErrorText@1 ShowFile@3"}},
      {"runtime DLL",
       [](TModuleTables& t) { t.ImportedLibraries.push_back("libstdc++-6.dll"); },
       {"imports libstdc++-6.dll"}},
      {"no imports", [](TModuleTables& t) { t.ImportedLibraries.clear(); }, {"no imports"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    TModuleTables tables = Korvane(TModuleMachine::I386);
    row.Change(tables);
    EXPECT_EQ(KorvaneModuleFaults(tables, TModuleMachine::I386), row.Faults);
  }
  EXPECT_EQ(KorvaneModuleFaults(Korvane(TModuleMachine::Amd64), TModuleMachine::Amd64), std::vector<std::string>{});
  EXPECT_EQ(KorvaneModuleFaults(Korvane(TModuleMachine::I386), TModuleMachine::Amd64),
            (std::vector<std::string>{"Machine 332", "Magic 267", "DllCharacteristics lacks " + HighEntropy}));
}

// The flags that keep the module safe in a host, read from a file of either
// width: DllCharacteristics lies after Subsystem, at offset 70 of the
// optional header in PE32 and PE32+ alike.
TEST(ModuleTable, EveryMissingSafetyFlagIsNamedForEitherWidth) {
  using TFaults = std::vector<std::string>;
  const TFaults none;
  const std::string lacks = "DllCharacteristics lacks ";
  const struct {
    const char* Name;
    std::uint16_t Flags;
    TFaults Pe32Faults;
    TFaults Pe32PlusFaults;
  } rows[] = {
      {"all three", 0x0160, none, none},
      {"the three and others", 0xCFE0, none, none},
      {"no DYNAMIC_BASE", 0x0120, {lacks + DynamicBase}, {lacks + DynamicBase}},
      {"no NX_COMPAT", 0x0060, {lacks + NxCompat}, {lacks + NxCompat}},
      {"no HIGH_ENTROPY_VA", 0x0140, none, {lacks + HighEntropy}},
      {"none",
       0x0000,
       {lacks + DynamicBase, lacks + NxCompat},
       {lacks + DynamicBase, lacks + NxCompat, lacks + HighEntropy}},
      // FORCE_INTEGRITY, NO_ISOLATION, NO_SEH, NO_BIND, GUARD_CF, TERMINAL_SERVER_AWARE
      {"only other flags",
       0xCE80,
       {lacks + DynamicBase, lacks + NxCompat},
       {lacks + DynamicBase, lacks + NxCompat, lacks + HighEntropy}},
  };
  for (const bool wide : {false, true}) {
    const TModuleMachine machine = wide ? TModuleMachine::Amd64 : TModuleMachine::I386;
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(wide ? "PE32+ " : "PE32 ") + row.Name);
      TPeBuilder builder;
      if (wide)
        builder.Pe32Plus().Machine(0x8664);
      builder.Export("Alpha", 0).PatchWord(TPeBuilder::OptionalOffset + 70, row.Flags);
      const TGuardedBytes bytes(builder.Build());
      const TModuleTables read = ReadModuleTables(bytes.View());
      EXPECT_EQ(read.DllCharacteristics, row.Flags);
      // The rest of the contract as korvane.dll meets it, so only the flags count.
      TModuleTables tables = Korvane(machine);
      tables.DllCharacteristics = read.DllCharacteristics;
      EXPECT_EQ(KorvaneModuleFaults(tables, machine), wide ? row.Pe32PlusFaults : row.Pe32Faults);
    }
  }
}

TEST(ModuleTable, AnOptionalHeaderThatEndsBeforeDllCharacteristicsFails) {
  const struct {
    std::uint16_t SizeOfOptionalHeader;
    bool Reads;
  } rows[] = {{72, true}, {71, false}, {0, false}};
  for (const bool wide : {false, true}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(wide ? "PE32+ " : "PE32 ") + std::to_string(row.SizeOfOptionalHeader));
      TPeBuilder builder;
      if (wide)
        builder.Pe32Plus().Machine(0x8664);
      builder.PatchWord(TPeBuilder::OptionalOffset + 70, 0x0160)
          .PatchWord(TPeBuilder::PeOffset + 20, row.SizeOfOptionalHeader);
      const TGuardedBytes bytes(builder.Build());
      if (row.Reads)
        EXPECT_EQ(ReadModuleTables(bytes.View()).DllCharacteristics, 0x0160);
      else
        EXPECT_THROW(ReadModuleTables(bytes.View()), TFormatError);
    }
  }
  // A file that ends inside the field.
  TBytes cut = TPeBuilder().Build();
  cut.resize(TPeBuilder::OptionalOffset + 71);
  const TGuardedBytes bytes(cut);
  EXPECT_THROW(ReadModuleTables(bytes.View()), TFormatError);
}

} // namespace
} // namespace korvane::test
