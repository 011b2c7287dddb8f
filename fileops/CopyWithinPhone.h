// Copy between two mirror folders: the phone has no copy of its own, so the
// items are downloaded into scratch folders and uploaded from there into the
// target's phone folder.
#pragma once

#include "fileops/FileOperationRequest.h"
#include "fileops/OperationListener.h"
#include "phone/PhoneFileSystem.h"
#include "services/RequestContext.h"

namespace fileops {

// Copies the request's phone items into its target mirror folder. The shell
// asks before a phone file there is replaced, and a declined one stays as it
// was. A move copies as well and answers E_NOTIMPL: the sources stay on the
// phone. E_ABORT after a Cancel during the downloads, with nothing uploaded.
HRESULT CopyVFSToVFS(const services::RequestContext& context, phone::PhoneFileSystem& phoneFs,
                     FileOperationRequest& request, COperationListener& listener);

} // namespace fileops
