// The server's side of IQuelvar::SHFileOperation: the request decoded, then
// moves, copies and code 13 on a worker thread (a few at once, the others
// waiting their turn), every other code on the caller's thread.
#pragma once

#include "services/RequestContext.h"

#include <windows.h>
#include <oaidl.h>

namespace fileops {

// Decoding failures are returned at once. A worker answers S_OK once it runs or waits, and
// shows its outcome to the user; the caller's thread returns the outcome.
// `endMessage` is posted to the request's window when a phone's content changed.
HRESULT RunFileOperation(const services::RequestContext& context, const VARIANT& serialised, UINT endMessage);

} // namespace fileops
