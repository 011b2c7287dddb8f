// The control class behind simphone and the tests: phones, their contents,
// connection state, transfer speed, faults, the data layer's pace and the
// process itself.
#pragma once

#include "ComObject.h"
#include "SimPhoneSuite.h"

class SuiteControl : public SuiteObject<SuiteControl, ISimPhoneSuite, ISimDataLayer>
{
public:
    HRESULT STDMETHODCALLTYPE SetStore(BSTR folder) override;
    HRESULT STDMETHODCALLTYPE GetStore(BSTR* folder) override;
    HRESULT STDMETHODCALLTYPE AddPhone(BSTR alias, BSTR imei, BSTR model) override;
    HRESULT STDMETHODCALLTYPE AddMemory(BSTR alias, BSTR drive, BSTR label, BSTR memType, double quota) override;
    HRESULT STDMETHODCALLTYPE RemovePhone(BSTR alias) override;
    HRESULT STDMETHODCALLTYPE ConnectPhone(BSTR alias) override;
    HRESULT STDMETHODCALLTYPE DisconnectPhone(BSTR alias) override;
    HRESULT STDMETHODCALLTYPE PutFile(BSTR phonePath, VARIANT data, DATE modified) override;
    HRESULT STDMETHODCALLTYPE GetFile(BSTR phonePath, VARIANT* data) override;
    HRESULT STDMETHODCALLTYPE MakeFolder(BSTR phonePath) override;
    HRESULT STDMETHODCALLTYPE SetTransferDelay(LONG milliseconds) override;
    HRESULT STDMETHODCALLTYPE SetChunkSize(LONG bytes) override;
    HRESULT STDMETHODCALLTYPE SetFault(BSTR operation, LONG code, LONG count) override;
    HRESULT STDMETHODCALLTYPE ClearFaults() override;
    HRESULT STDMETHODCALLTYPE SetModelList(BSTR product, BSTR models) override;
    HRESULT STDMETHODCALLTYPE SetModelValue(BSTR model, BSTR key, BSTR value) override;
    HRESULT STDMETHODCALLTYPE ListPhones(BSTR* listing) override;
    HRESULT STDMETHODCALLTYPE GetProcessId(LONG* processId) override;
    HRESULT STDMETHODCALLTYPE Kill(LONG* processId) override;
    HRESULT STDMETHODCALLTYPE GetSinkCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE TakeLastCall(BSTR operation, BSTR* arguments) override;
    HRESULT STDMETHODCALLTYPE GetAddCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE GetFileSystemCount(LONG* alive, LONG* made) override;
    HRESULT STDMETHODCALLTYPE SetListing(BSTR phonePath, BSTR pcFile) override;

    // ISimDataLayer
    HRESULT STDMETHODCALLTYPE SetSyncPace(LONG intervalMs, LONG ongoingCount, VARIANT_BOOL keepCallback) override;

private:
    HRESULT SetConnected(BSTR alias, bool connected);
};
