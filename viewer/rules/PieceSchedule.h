// How much of a report goes into the control at a time: the first screen at
// once, then pieces sized by what the pieces before them cost. Kept free of
// Windows types so that the rules can be tested on any system.
#pragma once

#include <cstdint>

#include "MemoryReportView.h"

namespace korvane {

/// A piece's cost in the control grows with its text and with its lines
/// (each line is a paragraph of its own, each TAB a run): a piece weighs its
/// text's bytes and LineWeight bytes a line. Its message costs a part that
/// grows with that weight, and a part that does not: the user's selection and
/// scroll position put back, the control drawn, and the stream's own start,
/// which grows with the lines the control holds already. The schedule fits
/// both parts to the last pieces' weights and times, and sizes the next piece
/// so that its message takes PieceMilliseconds; once the fixed part alone
/// takes half of that, the piece's own part takes as long as the fixed part,
/// up to GreatestOwnMilliseconds: the pieces stay large enough for the fixed
/// part to cost no more than half of the fill while it is short, and a
/// message takes at most that much beyond the fixed part once it is long.
class TPieceSchedule {
public:
  static constexpr std::uint64_t LineWeight = 32;
  /// The first piece: the whole report when it weighs no more than
  /// FirstWeight (one stream costs less than two), else the lines that fill
  /// the window and half a window more (a scroll of a few lines finds them
  /// there), within FirstWeight, and at least one line.
  static constexpr std::uint64_t FirstWeight = 8 * 1024;
  /// What a piece's message aims to take.
  static constexpr double PieceMilliseconds = 60;
  static constexpr double GreatestOwnMilliseconds = 100;
  /// A piece weighs at least LeastWeight and at most twice the last one: a
  /// piece that happened to be quick does not make the next one huge.
  static constexpr std::uint64_t LeastWeight = 2 * 1024;
  static constexpr std::uint64_t GreatestWeight = 16 * 1024 * 1024;

  /// The weight of count lines of the report from first.
  static std::uint64_t Weight(const TMemoryReportView& report, int first, int count);
  /// How many lines from first, at most the report's rest, weigh at most
  /// weight; at least one while lines are left.
  static int LinesWithin(const TMemoryReportView& report, int first, std::uint64_t weight);

  /// The lines of the first piece of a window that shows screenLines lines.
  static int FirstPieceLines(const TMemoryReportView& report, int screenLines);

  /// A piece of weight went in, and its message took milliseconds.
  void Measured(std::uint64_t weight, double milliseconds);
  /// The weight of the next piece, for a message of aimMilliseconds.
  std::uint64_t NextWeight(double aimMilliseconds = PieceMilliseconds) const;

  /// The fitted cost: weight a millisecond of the part that grows with the
  /// piece (0 until a piece took measurable time), and the fixed part.
  double Rate() const { return FRate; }
  double FixedMilliseconds() const { return FFixedMilliseconds; }

private:
  static constexpr int Kept = 8;
  struct TSample {
    double Weight;
    double Milliseconds;
  };

  void Fit();

  TSample FSamples[Kept] = {};
  int FCount = 0;
  double FRate = 0;
  double FFixedMilliseconds = 0;
  std::uint64_t FLastWeight = 2 * FirstWeight;
};

} // namespace korvane
