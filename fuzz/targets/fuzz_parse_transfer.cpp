// ParseTransferRecord and WriteTransferRecord on any bytes (seeds: the
// records inside the media's transfers). A parse succeeds exactly for at
// least 776 bytes with a record length B of 1 to 515; writing the name and
// record back gives the input's 776 bytes exactly when the input was written
// that way (a name of at most 255 characters, zeros after the name and after
// the record), and parses again to the same name and record.
#include <algorithm>

#include "engine/transfer_format.h"
#include "support/base64.h"
#include "views.h"

using namespace dzfuzz;
namespace formats = dizora::formats;

static void Seeds(const std::string& dir) {
  Media& m = TheMedia();
  const std::pair<DizoraEngine, const char*> transfers[] = {{m.user, kPeer}, {m.peer, kUser}, {m.user, kUser}};
  int i = 0;
  for (const auto& [engine, uid] : transfers) {
    const Bytes signedData = dizora::support::DecodeBase64(Transfer(engine, uid));
    const auto parts = formats::ParseSignedData(signedData);
    if (!parts) Fail("a transfer that is not signed data");
    WriteSeed(dir, "record_" + std::to_string(i++), Bytes(parts->data.begin(), parts->data.end()));
  }
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MaybeWriteSeeds(Seeds);
  return 0;
}

static bool AllZero(ByteSpan bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteSpan bytes(data, size);
  const int64_t length = size >= 776 ? Int32At(data + 256) : 0;
  const auto fields = formats::ParseTransferRecord(bytes);
  Require(fields.has_value() == (length >= 1 && length <= 515), "transfer record taken or refused against B");
  if (!fields) return 0;
  Require(Inside(fields->name, bytes) && Inside(fields->record, bytes), "a view outside the input");
  Require(fields->record.data() == data + 260 && fields->record.size() == static_cast<size_t>(length),
          "the record is not the B bytes of its field");
  const size_t nameLength = fields->name.size();
  Require(fields->name.data() == reinterpret_cast<const char*>(data) && nameLength <= 256 &&
              fields->name.find('\0') == std::string_view::npos && (nameLength == 256 || data[nameLength] == 0),
          "the name is not the text of its field up to its first zero");

  Bytes written(776, 0xAA);
  const std::span<uint8_t, 776> out(written.data(), 776);
  Require(formats::WriteTransferRecord(fields->name, fields->record, out), "a parsed record cannot be written");
  const bool canonical = nameLength < 256 && AllZero(bytes.subspan(nameLength, 256 - nameLength)) &&
                         AllZero(bytes.subspan(260 + fields->record.size(), 516 - fields->record.size()));
  Require(std::equal(written.begin(), written.end(), data) == canonical,
          "written back, the record is not the input's 776 bytes exactly when those are canonical");
  const auto again = formats::ParseTransferRecord(written);
  Require(again && again->name == fields->name.substr(0, 255) &&
              std::equal(again->record.begin(), again->record.end(), fields->record.begin(), fields->record.end()),
          "a written record does not parse to its name and record");

  // Records of no byte or of more than 515 bytes are never written.
  const Bytes before = written;
  Require(!formats::WriteTransferRecord(fields->name, {}, out) &&
              !formats::WriteTransferRecord(fields->name, bytes.first(516), out) && written == before,
          "a record of impossible length written");
  return 0;
}
