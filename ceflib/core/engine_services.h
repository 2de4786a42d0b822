// The engine's services that belong to no object: driving its message loop from a
// loop of the program's own, the cross-origin whitelist, the scheme handler registry as
// a whole, and the engine's revision. Each needs a loaded engine ("The engine is not
// loaded" otherwise); none loads it.
#pragma once

#include "ceflib/core/strings.h"

namespace ceflib {

// Runs the engine's work that is due now and returns; for programs that run a loop of
// their own instead of CefRunMessageLoop. Main thread only (elsewhere it does nothing).
void CefDoMessageLoopWork();
// Ends CefRunMessageLoop; callable from any thread.
void CefQuitMessageLoop();
// Tells the engine that a modal loop of the program (a dialog box, a menu) runs or ended.
void CefSetOsModalLoop(bool osModalLoop);

// Removes every registered scheme handler factory. True when the engine did.
bool CefClearSchemeHandlerFactories();

// Lets page script of `sourceOrigin` (scheme, host and port as an address) reach
// `targetProtocol` and `targetDomain` across the same-origin rule; with
// allowTargetSubdomains also the domain's subdomains. True when the engine took it.
bool CefAddCrossOriginWhitelistEntry(const ustring& sourceOrigin, const ustring& targetProtocol,
                                     const ustring& targetDomain, bool allowTargetSubdomains);
// Removes the entry added with the same four arguments.
bool CefRemoveCrossOriginWhitelistEntry(const ustring& sourceOrigin, const ustring& targetProtocol,
                                        const ustring& targetDomain, bool allowTargetSubdomains);
bool CefClearCrossOriginWhitelist();

// The engine's build revision.
int CefBuildRevision();

}  // namespace ceflib
