// Failed engine calls told in the user's terms: which file, UID or setting,
// and why, before the engine's own code and text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "engine.h"
#include "json.h"
#include "transfer.h"

namespace dztool {

// Throws the failure of an engine call: `what` (the subject and what went
// wrong, as far as the caller knows), the cause the tool finds on the medium
// for the code, then the engine's code and text; the exit status follows the
// code unless `exit_status` is given.
[[noreturn]] void EngineFailure(const Session& session, const std::string& what, int32_t code,
                                const JsonObject& details = {}, int exit_status = -1);

// Why the engine found no usable public key (-11) for these UIDs
// (Windows-1251): the UIDs it does not know, and a damaged or missing own
// public key or damaged correspondents' files, which fail the first key
// lookup of every run. Points to `dizora medium check`. `note` follows the
// UIDs (where they came from).
std::string WhyNoPublicKey(const Session& session, const std::vector<std::string>& uids, const std::string& note = "");

// The UID an option (--signer, --from) requires, in Windows-1251.
std::optional<std::string> RequiredUid(const Invocation& call, const std::string& option);
// Refuses (exit 1) a signer other than the required one: a bank accepts an
// order signed by its sender, not by any client it knows.
void RequireSigner(const std::optional<std::string>& required, const std::string& subject, const std::string& signer,
                   const JsonObject& details = {});
// A transfer argument read, taken apart and its signature checked through the
// engine; throws, naming the signer, when it does not verify.
struct SignedTransfer {
  TransferText text;
  Transfer transfer;
  std::string signer;  // as the engine found it (Windows-1251)
};
SignedTransfer OpenTransfer(const Session& session, const std::string& arg);

// The UID of the medium's key pair (Windows-1251); "" when it cannot be read.
std::string OwnUid(const Session& session);

}  // namespace dztool
