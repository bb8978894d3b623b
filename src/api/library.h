// Library start and stop: the modules in their one fixed order. Called on
// load and unload of the engine library (constructor and destructor functions
// on POSIX, DllMain on Windows).
#pragma once

namespace dizora::api {

void StartLibrary();
void StopLibrary();

}  // namespace dizora::api
