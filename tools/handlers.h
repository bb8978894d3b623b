// The commands, one function each (cmd_*.cpp, demo.cpp); they return the
// exit status or throw a Failure.
#pragma once

#include "commands.h"

namespace dztool {

int RunHelp(const Invocation& call);
int RunSettings(const Invocation& call);
int RunError(const Invocation& call);
int RunWhoami(const Invocation& call);
int RunKeygen(const Invocation& call);
int RunSign(const Invocation& call);
int RunVerify(const Invocation& call);
int RunAttach(const Invocation& call);
int RunDetach(const Invocation& call);
int RunEncrypt(const Invocation& call);
int RunDecrypt(const Invocation& call);
int RunHash(const Invocation& call);
int RunKeyList(const Invocation& call);
int RunKeyInclude(const Invocation& call);
int RunKeyRemove(const Invocation& call);
int RunKeyRefresh(const Invocation& call);
int RunKeyExport(const Invocation& call);
int RunKeyImport(const Invocation& call);
int RunKeySave(const Invocation& call);
int RunKeyUid(const Invocation& call);
int RunKeyReport(const Invocation& call);
int RunMediumInit(const Invocation& call);
int RunMediumCheck(const Invocation& call);
int RunRegenStart(const Invocation& call);
int RunRegenFinish(const Invocation& call);
int RunDemo(const Invocation& call);

}  // namespace dztool
