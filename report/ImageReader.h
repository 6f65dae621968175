// The tested reads through which the export and import listings see an
// image, whatever holds it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ByteView.h"
#include "Field.h"

namespace korvane {

/// Reads of an image at relative virtual addresses. Reads are not const: an
/// image may make what it holds readable as it is read. Each read fails with
/// TFormatError when a byte it needs lies in no region of the image (RVA
/// arithmetic past 2^32 included); what names the table for the message.
class TImageReader {
public:
  virtual ~TImageReader() = default;
  // RVAs are taken in 64 bits, so a sum such as a table's RVA plus 4 times
  // an index is tested as it stands, never wrapped to a low RVA.
  virtual std::uint16_t ReadWord(std::uint64_t rva, const TReadName& what) = 0;
  virtual std::uint32_t ReadDWord(std::uint64_t rva, const TReadName& what) = 0;
  virtual std::uint64_t ReadQWord(std::uint64_t rva, const TReadName& what) = 0;
  /// Whether the image is that of a PE32+ file: its import thunks are
  /// 64-bit.
  virtual bool Pe32Plus() const = 0;
  /// The bytes from rva up to, not including, the first NUL byte. The view
  /// points into the image, which keeps those bytes for its whole life, or,
  /// when the text spans regions, into buffer (which is then not empty).
  virtual std::string_view ReadText(std::uint64_t rva, const TReadName& what, std::string& buffer) = 0;
  std::string ReadText(std::uint64_t rva, const TReadName& what) {
    std::string buffer;
    return std::string(ReadText(rva, what, buffer));
  }

  /// The field of the record at RVA record, read in its width; a failure
  /// names it as name gives it ("the export directory (NumberOfNames)").
  template <typename Value>
  Value Read(std::uint64_t record, TField<Value> field, const TRecordName& name) {
    static_assert(sizeof(Value) == 2 || sizeof(Value) == 4);
    const TReadName what = name.Field(field.Name);
    if constexpr (sizeof(Value) == 2)
      return ReadWord(record + field.Offset, what);
    else
      return ReadDWord(record + field.Offset, what);
  }
};

} // namespace korvane
