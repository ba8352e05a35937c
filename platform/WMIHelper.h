#pragma once
// A small synchronous WQL client over one WMI namespace: run a query, walk its
// rows, read properties.  Every step returns an HRESULT and keeps it in
// `status`; a failing status is sticky until reset().

#include <functional>
#include <string>

#include "win32/ComPtr.h"
#include "win32/Win32Api.h"

namespace Corvane::platform {

class WMIHelper {
public:
    using ResultCallback = std::function<bool(const ComPtr<IWbemClassObject>& row, ULONG returned, HRESULT& status)>;
    using PropertyCallback = std::function<bool(const ComPtr<IWbemClassObject>& row, HRESULT& status, VARIANT& value)>;
    using ValueCallback = std::function<bool(VARIANT& value)>;

    // What a query returns when the helper holds no connection (its start-up
    // failed, or a failed query dropped it).
    static constexpr HRESULT kNotConnected = RPC_E_DISCONNECTED;

    // Connects at once; the outcome is kept in `status`.  A BSTR that cannot
    // be allocated raises BstrAllocationError (win32/WmiBstr.h).
    explicit WMIHelper(const std::wstring& wmiNamespace);
    ~WMIHelper();
    WMIHelper(const WMIHelper&) = delete;
    WMIHelper& operator=(const WMIHelper&) = delete;

    HRESULT initialize(const std::wstring& wmiNamespace);
    HRESULT connect(const std::wstring& wmiNamespace);
    HRESULT executeQuery(const std::wstring& properties, const std::wstring& className, const std::wstring& condition);
    HRESULT forEachResult(const ResultCallback& callback);
    HRESULT fetchFirstResult();
    HRESULT getProperty(const std::wstring& name, const PropertyCallback& callback);
    HRESULT getProperty(const std::wstring& name, const ValueCallback& callback);
    HRESULT forEachProperty(const std::wstring& name, const PropertyCallback& callback);
    HRESULT forEachProperty(const std::wstring& name, const ValueCallback& callback);
    void reset();

    // Text of the query executeQuery runs for these arguments.
    static std::wstring buildQuery(const std::wstring& properties, const std::wstring& className,
                                   const std::wstring& condition);

    bool isConnected() const { return connected; }
    HRESULT getStatus() const { return status; }
    bool holdsComInitialization() const { return comInitializations_ > 0; }
    bool hasServices() const { return static_cast<bool>(services); }

private:
    // Gives back one COM initialisation this helper holds; none held: no call.
    void leaveCom();

    bool connected = false;
    HRESULT status = S_OK;
    ComPtr<IWbemLocator> locator;
    ComPtr<IWbemServices> services;
    ComPtr<IWbemClassObject> currentObject;
    ComPtr<IEnumWbemClassObject> enumerator;
    // COM initialisations of this helper's own not yet given back, so that the
    // destructor never takes one away that belongs to the thread.
    int comInitializations_ = 0;
};

// Logs `message` with the detail "Error code = 0x" and the code in lowercase hexadecimal.
void logHResult(const std::string& message, HRESULT hr);

}  // namespace Corvane::platform
