// The data layer: one store per data type of a connected phone, whose
// synchronisation reports itself to the caller's callback from the suite's
// timer, after Synchronize has returned: STARTED, some ONGOING, then FINISHED,
// or CANCELED once CancelSync has asked for it.
//
// Failure switches (faults of the suite control): "GetDataStore", "Synchronize"
// and "CancelSync" fail the call itself; "SyncStatus" makes the next
// synchronisation end FINISHED with that code; "SyncSilent" makes the next one
// say nothing after STARTED while it keeps its callback, until ClearFaults ends
// it without a word; "SyncDropped" makes the next one let its callback go after
// STARTED without an end. Every started synchronisation is recorded as
// "TARGET|DATA TYPE" under "Synchronize" (entries joined by ";" until a test
// takes them), every one that finished without failure, as its caller learnt,
// under "Updated", every CancelSync under "CancelSync".
#pragma once

#include "ComObject.h"
#include "PhoneComponents.h"

#include <string>

class DataLayer : public SuiteObject<DataLayer, IDataLayer>
{
public:
    HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDataStore(BSTR target, BSTR dataType, IUnknown** store) override;
};

class DataStore : public SuiteObject<DataStore, IDataStore>
{
public:
    explicit DataStore(std::wstring target) : target_(std::move(target)) {}

    HRESULT STDMETHODCALLTYPE Synchronize(BSTR dataType, IUnknown* callback, UINT* syncId) override;
    HRESULT STDMETHODCALLTYPE CancelSync(UINT syncId) override;

private:
    std::wstring target_;
};

namespace suite {
// Pace of every later synchronisation (ISimDataLayer).
void SetSyncPace(DWORD intervalMs, long ongoingCount, bool keepCallback);
// Ends the synchronisations gone silent, releasing their callbacks (ClearFaults).
void EndSilentSyncs();
} // namespace suite
