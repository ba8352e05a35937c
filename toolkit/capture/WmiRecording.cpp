// WMI under recording: the locator CoCreateInstance makes is wrapped, so is
// the namespace its ConnectServer opens and the enumerators its queries give.
// The first query of a class reads that class whole (SELECT *, every row, every
// property) on the real connection; a query or a row fetch that fails is kept
// as the machine's answer for that class.

#include <atomic>
#include <cwctype>
#include <string>

#include "win32/ComPtr.h"
#include "toolkit/capture/RecordingState.h"
#include "toolkit/capture/WmiValueConversion.h"

namespace Corvane::capture::detail {
namespace {

using platform::ComPtr;

constexpr long kQueryFlags = WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY;

// The class a WQL query reads: the word after FROM.
std::wstring classOfQuery(const wchar_t* query) {
    if (!query) return L"";
    std::wstring upper(query);
    for (auto& c : upper) c = static_cast<wchar_t>(std::towupper(c));
    size_t at = upper.find(L" FROM ");
    if (at == std::wstring::npos) return L"";
    at += 6;
    const std::wstring text(query);
    while (at < text.size() && std::iswspace(text[at])) ++at;
    size_t end = at;
    while (end < text.size() && (std::iswalnum(text[end]) || text[end] == L'_')) ++end;
    return text.substr(at, end - at);
}

class Bstr {
public:
    explicit Bstr(const wchar_t* text) : value_(machine().SysAllocString(text)) {}
    ~Bstr() { machine().SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return value_; }

private:
    BSTR value_;
};

profile::WmiRow readRow(IWbemClassObject* object) {
    profile::WmiRow row;
    if (FAILED(object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY))) return row;
    for (;;) {
        BSTR name = nullptr;
        VARIANT value;
        VariantInit(&value);
        if (object->Next(0, &name, &value, nullptr, nullptr) != WBEM_S_NO_ERROR) break;
        if (name) {
            if (auto converted = toWmiValue(value)) row.properties.emplace_back(name, std::move(*converted));
        }
        machine().SysFreeString(name);
        machine().VariantClear(&value);
    }
    object->EndEnumeration();
    return row;
}

// Every row of the class with every property, read on the real connection.
void readClass(RecordingState& state, IWbemServices* services, const std::wstring& className) {
    profile::WmiClass& recorded = state.wmiClass(className);
    const Bstr language(L"WQL");
    const Bstr query((L"SELECT * FROM " + className).c_str());
    ComPtr<IEnumWbemClassObject> rows;
    if (FAILED(services->ExecQuery(language.get(), query.get(), kQueryFlags, nullptr, rows.put())) || !rows) return;
    for (;;) {
        ComPtr<IWbemClassObject> object;
        ULONG returned = 0;
        rows->Next(static_cast<long>(WBEM_INFINITE), 1, object.put(), &returned);
        if (returned == 0 || !object) break;
        recorded.rows.push_back(readRow(object.get()));
    }
}

// Reference counting shared by the wrappers.  A wrapper takes over the
// reference its creator held on the real object.
template <typename Interface>
class Wrapper : public Interface {
public:
    explicit Wrapper(Interface* inner) : inner_(inner) { inner->Release(); }
    virtual ~Wrapper() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, __uuidof(Interface))) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        // Anything else (proxy security, marshalling) is the real object's.
        return inner_->QueryInterface(id, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComPtr<Interface> inner_;

private:
    std::atomic<ULONG> references_{1};
};

class RecordingEnumerator final : public Wrapper<IEnumWbemClassObject> {
public:
    RecordingEnumerator(IEnumWbemClassObject* inner, std::wstring className)
        : Wrapper(inner), className_(std::move(className)) {}

    HRESULT STDMETHODCALLTYPE Reset() override { return inner_->Reset(); }
    HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned) override {
        const HRESULT result = inner_->Next(timeout, count, objects, returned);
        if (FAILED(result)) {
            if (RecordingState* state = current()) state->profile.wmi.faults.nextByClass[className_] = result;
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG count, IWbemObjectSink* sink) override {
        return inner_->NextAsync(count, sink);
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject** copy) override { return inner_->Clone(copy); }
    HRESULT STDMETHODCALLTYPE Skip(LONG timeout, ULONG count) override { return inner_->Skip(timeout, count); }

private:
    std::wstring className_;
};

class RecordingServices final : public Wrapper<IWbemServices> {
public:
    explicit RecordingServices(IWbemServices* inner) : Wrapper(inner) {
        if (RecordingState* state = current()) state->wrappedServices[this] = inner;
    }
    ~RecordingServices() override {
        if (RecordingState* state = current()) state->wrappedServices.erase(this);
    }

    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR query, LONG flags, IWbemContext* context,
                                        IEnumWbemClassObject** rows) override {
        RecordingState* state = current();
        const std::wstring className = classOfQuery(query);
        if (state && !className.empty()) {
            bool known = false;
            for (const auto& recorded : state->profile.wmi.classes) known = known || sameText(recorded.name, className);
            if (!known) readClass(*state, inner_.get(), className);
        }

        const HRESULT result = inner_->ExecQuery(language, query, flags, context, rows);
        if (!state || className.empty()) return result;
        if (FAILED(result)) {
            state->wmiConnectionLost = true;
            if (result == static_cast<HRESULT>(WBEM_E_INVALID_CLASS)) {
                state->wmiClass(className).known = false;
            } else {
                state->profile.wmi.faults.execQueryByClass[className] = result;
            }
        } else if (rows && *rows) {
            *rows = new RecordingEnumerator(*rows, className);
        }
        return result;
    }

    // The rest only forwards: the library asks nothing else of WMI.
    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR name, LONG flags, IWbemContext* context, IWbemServices** opened,
                                            IWbemCallResult** result) override {
        return inner_->OpenNamespace(name, flags, context, opened, result);
    }
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink* sink) override { return inner_->CancelAsyncCall(sink); }
    HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG flags, IWbemObjectSink** sink) override {
        return inner_->QueryObjectSink(flags, sink);
    }
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR path, LONG flags, IWbemContext* context, IWbemClassObject** object,
                                        IWbemCallResult** result) override {
        return inner_->GetObject(path, flags, context, object, result);
    }
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR path, LONG flags, IWbemContext* context,
                                             IWbemObjectSink* sink) override {
        return inner_->GetObjectAsync(path, flags, context, sink);
    }
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject* object, LONG flags, IWbemContext* context,
                                       IWbemCallResult** result) override {
        return inner_->PutClass(object, flags, context, result);
    }
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject* object, LONG flags, IWbemContext* context,
                                            IWbemObjectSink* sink) override {
        return inner_->PutClassAsync(object, flags, context, sink);
    }
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR name, LONG flags, IWbemContext* context,
                                          IWbemCallResult** result) override {
        return inner_->DeleteClass(name, flags, context, result);
    }
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR name, LONG flags, IWbemContext* context,
                                               IWbemObjectSink* sink) override {
        return inner_->DeleteClassAsync(name, flags, context, sink);
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR superclass, LONG flags, IWbemContext* context,
                                              IEnumWbemClassObject** rows) override {
        return inner_->CreateClassEnum(superclass, flags, context, rows);
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR superclass, LONG flags, IWbemContext* context,
                                                   IWbemObjectSink* sink) override {
        return inner_->CreateClassEnumAsync(superclass, flags, context, sink);
    }
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject* object, LONG flags, IWbemContext* context,
                                          IWbemCallResult** result) override {
        return inner_->PutInstance(object, flags, context, result);
    }
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject* object, LONG flags, IWbemContext* context,
                                               IWbemObjectSink* sink) override {
        return inner_->PutInstanceAsync(object, flags, context, sink);
    }
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR path, LONG flags, IWbemContext* context,
                                             IWbemCallResult** result) override {
        return inner_->DeleteInstance(path, flags, context, result);
    }
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR path, LONG flags, IWbemContext* context,
                                                  IWbemObjectSink* sink) override {
        return inner_->DeleteInstanceAsync(path, flags, context, sink);
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR filter, LONG flags, IWbemContext* context,
                                                 IEnumWbemClassObject** rows) override {
        return inner_->CreateInstanceEnum(filter, flags, context, rows);
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR filter, LONG flags, IWbemContext* context,
                                                      IWbemObjectSink* sink) override {
        return inner_->CreateInstanceEnumAsync(filter, flags, context, sink);
    }
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR language, const BSTR query, LONG flags, IWbemContext* context,
                                             IWbemObjectSink* sink) override {
        return inner_->ExecQueryAsync(language, query, flags, context, sink);
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR language, const BSTR query, LONG flags,
                                                    IWbemContext* context, IEnumWbemClassObject** rows) override {
        return inner_->ExecNotificationQuery(language, query, flags, context, rows);
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR language, const BSTR query, LONG flags,
                                                         IWbemContext* context, IWbemObjectSink* sink) override {
        return inner_->ExecNotificationQueryAsync(language, query, flags, context, sink);
    }
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR path, const BSTR method, LONG flags, IWbemContext* context,
                                         IWbemClassObject* in, IWbemClassObject** out,
                                         IWbemCallResult** result) override {
        return inner_->ExecMethod(path, method, flags, context, in, out, result);
    }
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR path, const BSTR method, LONG flags, IWbemContext* context,
                                              IWbemClassObject* in, IWbemObjectSink* sink) override {
        return inner_->ExecMethodAsync(path, method, flags, context, in, sink);
    }
};

class RecordingLocator final : public Wrapper<IWbemLocator> {
public:
    explicit RecordingLocator(IWbemLocator* inner) : Wrapper(inner) {}

    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR user, const BSTR password,
                                            const BSTR locale, LONG flags, const BSTR authority, IWbemContext* context,
                                            IWbemServices** services) override {
        const HRESULT result = inner_->ConnectServer(resource, user, password, locale, flags, authority, context,
                                                     services);
        RecordingState* state = current();
        if (!state) return result;
        if (FAILED(result)) {
            if (state->firstCall("ConnectServer")) state->profile.wmi.faults.connectServer = result;
        } else {
            state->firstCall("ConnectServer");
            if (services && *services) *services = new RecordingServices(*services);
        }
        return result;
    }
};

}  // namespace

IWbemLocator* wrapLocator(IWbemLocator* real) { return new RecordingLocator(real); }

IUnknown* realProxyOf(IUnknown* object) {
    // Every wrapper derives from its interface alone, so the IWbemServices
    // pointer the code holds is the address the wrapper registered.
    RecordingState* state = current();
    if (!state) return object;
    auto wrapped = state->wrappedServices.find(object);
    return wrapped == state->wrappedServices.end() ? object : wrapped->second;
}

}  // namespace Corvane::capture::detail
