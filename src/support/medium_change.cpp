// Changes of several files of the key medium, made recoverable by an intent
// record.
//
// The record is text. Its first line is "dizora intent 1"; then one line per
// file removed before a placement ("remove", path) and one per placement
// ("place", the written name, the complete name, the target, the backup, the
// numbered mask), fields separated by tabs, with "%", tab, CR and LF written
// as "%XX"; the last line is "end" and the CRC-32 of everything before it.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/path_style.h"
#include "support/fileutils.h"
#include "support/medium.h"

namespace dizora::support {

namespace fs = dizora::platform;

namespace {

constexpr char kHeader[] = "dizora intent 1\n";
// Numbered names tried after a taken one before a claim gives up.
constexpr int kNumberedAttempts = 1000;

// The names of one placement in the record.
struct Step {
  std::vector<std::string> removeFirst;
  std::string written;  // the new file while it is being written
  std::string ready;    // the new file, complete
  std::string target;
  std::string backup;
  std::string numberedMask;
};

std::uint32_t Crc32(const std::string& text) noexcept {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : text) {
    crc ^= c;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string Hex8(std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 15];
  return text;
}

std::string Escape(const std::string& field) {
  std::string out;
  for (char c : field) {
    if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
      out += '%';
      out += Hex8(static_cast<unsigned char>(c)).substr(6);
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> Unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return std::nullopt;
    const int high = HexDigit(field[i + 1]);
    const int low = HexDigit(field[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == '\t')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

std::string RecordText(const std::vector<Step>& steps) {
  std::string text = kHeader;
  for (const Step& step : steps) {
    for (const std::string& path : step.removeFirst) text += "remove\t" + Escape(path) + "\n";
    text += "place\t" + Escape(step.written) + "\t" + Escape(step.ready) + "\t" + Escape(step.target) + "\t" +
            Escape(step.backup) + "\t" + Escape(step.numberedMask) + "\n";
  }
  return text + "end\t" + Hex8(Crc32(text)) + "\n";
}

// The steps of a record; nullopt when it is damaged or cut short.
std::optional<std::vector<Step>> ParseRecord(const std::string& text) {
  const std::size_t endLine = text.rfind("end\t");
  if (text.rfind(kHeader, 0) != 0 || endLine == std::string::npos) return std::nullopt;
  const std::string body = text.substr(0, endLine);
  if (text.substr(endLine) != "end\t" + Hex8(Crc32(body)) + "\n") return std::nullopt;
  std::vector<Step> steps;
  std::vector<std::string> removals;
  std::size_t at = sizeof kHeader - 1;
  while (at < body.size()) {
    const std::size_t eol = body.find('\n', at);
    if (eol == std::string::npos) return std::nullopt;
    std::vector<std::string> fields = SplitFields(body.substr(at, eol - at));
    at = eol + 1;
    for (std::size_t i = 1; i < fields.size(); ++i) {
      auto plain = Unescape(fields[i]);
      if (!plain) return std::nullopt;
      fields[i] = std::move(*plain);
    }
    if (fields[0] == "remove" && fields.size() == 2) {
      removals.push_back(fields[1]);
    } else if (fields[0] == "place" && fields.size() == 6) {
      steps.push_back(Step{std::move(removals), fields[1], fields[2], fields[3], fields[4], fields[5]});
      removals.clear();
    } else {
      return std::nullopt;
    }
  }
  return steps;
}

std::string RecordPath(const std::string& medium) { return medium + kIntentRecordName; }

bool WriteNewFile(const std::string& path, const void* data, std::size_t size, fs::FileAccess access,
                  const std::string& permissionsOf) {
  fs::File file;
  if (!file.CreateNew(path, access, permissionsOf)) return false;
  const bool written = (size == 0 || file.WriteAll(data, size)) && file.Sync();
  return file.Close() && written;
}

bool WriteRecord(const std::string& medium, const std::vector<Step>& steps) {
  const std::string text = RecordText(steps);
  const std::string path = RecordPath(medium);
  if (WriteNewFile(path, text.data(), text.size(), fs::FileAccess::kShared, std::string())) {
    fs::SyncDirectoryOf(path);
    return true;
  }
  fs::RemoveFile(path);
  return false;
}

std::optional<std::vector<Step>> ReadRecord(const std::string& medium) {
  fs::File file;
  if (!file.OpenRead(RecordPath(medium))) return std::nullopt;
  const auto size = file.Size();
  if (!size || *size <= 0 || *size > (1 << 20)) return std::nullopt;
  std::string text(static_cast<std::size_t>(*size), '\0');
  if (!file.ReadExact(text.data(), text.size())) return std::nullopt;
  return ParseRecord(text);
}

// The directory part of a path, with its trailing delimiter.
std::string DirectoryOf(const std::string& path) {
  const std::size_t pos = path.find_last_of(fs::kPathDelimiter);
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

// A name of `mask` ("pk*.pub") with `number` for its "*", in `directory`.
std::string NumberedName(const std::string& directory, const std::string& mask, std::int32_t number) {
  const std::size_t star = mask.find('*');
  return directory + mask.substr(0, star) + std::to_string(number) + mask.substr(star + 1);
}

// Puts the complete file in place: over the target, or, with a numbered
// mask, under the target's name or else the next free numbered name.
bool Place(const Step& step, std::string& placedAt) {
  if (step.numberedMask.empty()) {
    placedAt = step.target;
    return fs::Rename(step.ready, step.target, true) == fs::RenameStatus::kDone;
  }
  placedAt = step.target;
  if (fs::Rename(step.ready, placedAt, false) == fs::RenameStatus::kDone) return true;
  const std::string directory = DirectoryOf(step.target);
  std::int32_t number = NextFileNumber(directory, step.numberedMask);
  for (int attempt = 0; number > 0 && attempt < kNumberedAttempts; ++attempt, ++number) {
    if (!fs::PathExists(step.ready)) return false;
    placedAt = NumberedName(directory, step.numberedMask, number);
    if (fs::Rename(step.ready, placedAt, false) == fs::RenameStatus::kDone) return true;
  }
  return false;
}

// Step 3 from where it stands: a placement whose complete file is gone is done.
bool RollForward(const std::vector<Step>& steps, std::vector<std::string>* placedAt) {
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    if (!fs::PathExists(step.ready)) continue;
    for (const std::string& path : step.removeFirst) {
      if (!fs::RemoveFile(path) && fs::PathExists(path)) return false;
    }
    if (!step.backup.empty() && fs::PathExists(step.target) && !MoveFile(step.target, step.backup, true))
      return false;
    std::string at;
    if (!Place(step, at)) return false;
    if (placedAt != nullptr) (*placedAt)[i] = at;
  }
  return true;
}

// Removes the temporary files, the last first: a kill half-way leaves a
// state that is undone again.
void RollBack(const std::vector<Step>& steps) {
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    fs::RemoveFile(step->ready);
    fs::RemoveFile(step->written);
  }
}

// Whether step 3 had begun or every new file was complete: then the change
// is completed, otherwise undone.
bool GoesForward(const std::vector<Step>& steps) {
  bool first = false, all = true, any = false;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const bool ready = fs::PathExists(steps[i].ready);
    if (i == 0) first = ready;
    all = all && ready;
    any = any || ready;
  }
  return first ? all : any;
}

bool Blocks(const std::string& path) {
  const auto attributes = fs::GetPathAttributes(path);
  return attributes && (*attributes & (fs::kAttrDirectory | fs::kAttrReadOnly)) != 0;
}

std::vector<Step> PlanSteps(const std::vector<Placement>& placements) {
  std::vector<Step> steps;
  for (const Placement& p : placements) {
    steps.push_back(Step{p.removeFirst, fs::NameBeside(p.target, ".tmp"), fs::NameBeside(p.target, ".new"),
                         p.target, p.backup, p.numberedMask});
  }
  return steps;
}

bool Refused(const std::vector<Placement>& placements) {
  for (const Placement& p : placements) {
    if (p.target.empty() || (p.data == nullptr && p.size > 0)) return true;
    if (!p.backup.empty() ? Blocks(p.backup) : (p.numberedMask.empty() && Blocks(p.target))) return true;
    if (std::any_of(p.removeFirst.begin(), p.removeFirst.end(), Blocks)) return true;
  }
  return false;
}

ChangeResult Apply(const std::string& medium, std::vector<Placement>& placements) {
  if (placements.empty()) return ChangeResult::kDone;
  if (Refused(placements) || fs::PathExists(RecordPath(medium))) return ChangeResult::kNotMade;
  const std::vector<Step> steps = PlanSteps(placements);
  if (!WriteRecord(medium, steps)) return ChangeResult::kNotMade;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Placement& p = placements[i];
    const std::string& permissionsOf = p.permissionsOf.empty() ? p.target : p.permissionsOf;
    if (!WriteNewFile(steps[i].written, p.data, p.size, p.access, permissionsOf) ||
        fs::Rename(steps[i].written, steps[i].ready, false) != fs::RenameStatus::kDone) {
      RollBack(steps);
      fs::RemoveFile(RecordPath(medium));
      return ChangeResult::kNotMade;
    }
  }
  std::vector<std::string> placedAt(steps.size());
  // One more try of what failed (a refused rename may pass the second time);
  // otherwise the next lock of the medium completes it.
  if (!RollForward(steps, &placedAt) && !RollForward(steps, &placedAt)) return ChangeResult::kInterrupted;
  for (std::size_t i = 0; i < steps.size(); ++i) placements[i].placedAt = placedAt[i];
  fs::RemoveFile(RecordPath(medium));
  return ChangeResult::kDone;
}

}  // namespace

ChangeResult ApplyChange(const std::string& medium, std::vector<Placement>& placements) noexcept {
  try {
    return Apply(medium, placements);
  } catch (...) {
    return ChangeResult::kNotMade;
  }
}

bool ClaimNewFile(Placement& placement) noexcept {
  try {
    if (placement.numberedMask.empty()) return false;
    const Step step{{}, std::string(), fs::NameBeside(placement.target, ".tmp"), placement.target, {},
                    placement.numberedMask};
    if (WriteNewFile(step.ready, placement.data, placement.size, placement.access, placement.permissionsOf) &&
        Place(step, placement.placedAt))
      return true;
    fs::RemoveFile(step.ready);
  } catch (...) {
  }
  return false;
}

bool RecoverChange(const std::string& medium) noexcept {
  try {
    const std::string record = RecordPath(medium);
    if (!fs::PathExists(record)) return false;
    const auto steps = ReadRecord(medium);
    if (steps) {
      if (GoesForward(*steps)) {
        if (!RollForward(*steps, nullptr)) return true;  // left for the next lock
      } else {
        RollBack(*steps);
      }
      for (const Step& step : *steps) fs::RemoveFile(step.written);
    }
    fs::RemoveFile(record);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace dizora::support
