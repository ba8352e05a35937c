// The WMI objects of the simulated machine: locator, services, enumerator and
// class objects over the profile's WMI classes.  Every object counts its
// references; one whose count does not return to zero is reported.
#include <algorithm>
#include <cwctype>
#include <optional>

#include "toolkit/simulation/SimState.h"

namespace Corvane::simulated::detail {

class FakeComObject {
public:
    FakeComObject(MachineState& m, const char* kind, std::string detail)
        : machine_(&m), kind_(kind), detail_(std::move(detail)) {
        m.comObjects.insert(this);
    }
    virtual ~FakeComObject() = default;

    ULONG addRef() {
        if (!machine_) return static_cast<ULONG>(++references_);
        std::lock_guard lock(machine_->mutex);
        return static_cast<ULONG>(++references_);
    }

    ULONG release() {
        if (!machine_) return references_ > 0 ? static_cast<ULONG>(--references_) : 0;  // inert: never freed
        auto* m = machine_;
        std::lock_guard lock(m->mutex);
        if (references_ <= 0) {
            m->noteInvalidRelease(std::string("Release of ") + kind_ + " with no reference left");
            return 0;
        }
        if (--references_ > 0) return static_cast<ULONG>(references_);
        m->comObjects.erase(this);
        delete this;
        return 0;
    }

    virtual IUnknown* unknown() = 0;
    std::string describe() const {
        return kind_ + (detail_.empty() ? "" : " " + detail_) + " (" + std::to_string(references_) + " reference(s))";
    }
    const std::string& kind() const { return kind_; }
    void detach() { machine_ = nullptr; }

protected:
    MachineState* machine_;  // null once the machine is gone

private:
    std::string kind_;
    std::string detail_;
    long references_ = 1;
};

std::string describeComObject(const FakeComObject* object) { return object->describe(); }
void detachComObject(FakeComObject* object) { object->detach(); }

namespace {

constexpr HRESULT kNotSupported = WBEM_E_NOT_SUPPORTED;

// IUnknown for one interface: QueryInterface knows IUnknown and that interface.
template <typename Interface>
class FakeObject : public Interface, public FakeComObject {
public:
    FakeObject(MachineState& m, const IID& iid, const char* kind, std::string detail)
        : FakeComObject(m, kind, std::move(detail)), iid_(iid) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) {
            *out = static_cast<Interface*>(this);
            addRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return addRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
    IUnknown* unknown() override { return static_cast<Interface*>(this); }

private:
    const IID& iid_;
};

// ---------------------------------------------------------------------------
// WQL: SELECT <*|p1, p2> FROM <class> [WHERE <property> =|<>|!= <literal>]

struct Literal {
    std::optional<std::wstring> text;
    std::optional<int64_t> number;
};

struct Query {
    bool allProperties = false;
    std::vector<std::wstring> properties;
    std::wstring className;
    std::wstring whereProperty;
    bool whereNegated = false;
    Literal whereValue;
};

class QueryParser {
public:
    explicit QueryParser(std::wstring_view text) : text_(text) {}

    std::optional<Query> parse() {
        Query q;
        if (!keyword(L"SELECT")) return std::nullopt;
        skipSpace();
        if (peek() == L'*') {
            ++pos_;
            q.allProperties = true;
        } else {
            do {
                auto name = identifier();
                if (name.empty()) return std::nullopt;
                q.properties.push_back(name);
                skipSpace();
            } while (consume(L','));
        }
        if (!keyword(L"FROM")) return std::nullopt;
        q.className = identifier();
        if (q.className.empty()) return std::nullopt;
        skipSpace();
        if (pos_ < text_.size()) {
            if (!keyword(L"WHERE")) return std::nullopt;
            q.whereProperty = identifier();
            if (q.whereProperty.empty()) return std::nullopt;
            skipSpace();
            if (consume(L'=')) {
            } else if (consume(L'<') && consume(L'>')) {
                q.whereNegated = true;
            } else if (consume(L'!') && consume(L'=')) {
                q.whereNegated = true;
            } else {
                return std::nullopt;
            }
            auto value = literal();
            if (!value) return std::nullopt;
            q.whereValue = *value;
            skipSpace();
            if (pos_ != text_.size()) return std::nullopt;
        }
        return q;
    }

private:
    wchar_t peek() const { return pos_ < text_.size() ? text_[pos_] : 0; }
    void skipSpace() {
        while (pos_ < text_.size() && std::iswspace(text_[pos_])) ++pos_;
    }
    bool consume(wchar_t c) {
        skipSpace();
        if (peek() != c) return false;
        ++pos_;
        return true;
    }
    bool keyword(std::wstring_view word) {
        skipSpace();
        if (text_.size() - pos_ < word.size() || !equalsIgnoreCase(text_.substr(pos_, word.size()), word)) return false;
        size_t end = pos_ + word.size();
        if (end < text_.size() && !std::iswspace(text_[end]) && text_[end] != L'*') return false;
        pos_ = end;
        return true;
    }
    std::wstring identifier() {
        skipSpace();
        size_t start = pos_;
        while (pos_ < text_.size() && (std::iswalnum(text_[pos_]) || text_[pos_] == L'_')) ++pos_;
        return std::wstring(text_.substr(start, pos_ - start));
    }
    std::optional<Literal> literal() {
        skipSpace();
        Literal value;
        wchar_t quote = peek();
        if (quote == L'\'' || quote == L'"') {
            ++pos_;
            std::wstring text;
            while (pos_ < text_.size() && text_[pos_] != quote) {
                if (text_[pos_] == L'\\' && pos_ + 1 < text_.size()) ++pos_;  // WQL escapes with a backslash
                text.push_back(text_[pos_++]);
            }
            if (pos_ >= text_.size()) return std::nullopt;
            ++pos_;
            value.text = text;
            return value;
        }
        auto word = identifier();
        if (equalsIgnoreCase(word, L"TRUE"))
            value.number = -1;
        else if (equalsIgnoreCase(word, L"FALSE"))
            value.number = 0;
        else if (!word.empty() && word.find_first_not_of(L"0123456789") == std::wstring::npos)
            value.number = std::stoll(word);
        else if (word.empty() && peek() == L'-') {
            ++pos_;
            auto digits = identifier();
            if (digits.empty() || digits.find_first_not_of(L"0123456789") != std::wstring::npos) return std::nullopt;
            value.number = -std::stoll(digits);
        } else
            return std::nullopt;
        return value;
    }

    std::wstring_view text_;
    size_t pos_ = 0;
};

const profile::WmiValue* findProperty(const profile::WmiRow& row, std::wstring_view name) {
    for (const auto& [property, value] : row.properties)
        if (equalsIgnoreCase(property, name)) return &value;
    return nullptr;
}

bool matches(const profile::WmiRow& row, const Query& q) {
    if (q.whereProperty.empty()) return true;
    const auto* value = findProperty(row, q.whereProperty);
    if (!value || value->vt == VT_NULL || value->vt == VT_EMPTY) return false;
    bool equal = false;
    if (value->vt == VT_BSTR) {
        equal = q.whereValue.text && equalsIgnoreCase(value->text, *q.whereValue.text);
    } else if (q.whereValue.number) {
        equal = value->vt == VT_BOOL ? ((value->integer != 0) == (*q.whereValue.number != 0))
                                     : value->integer == *q.whereValue.number;
    } else if (q.whereValue.text) {
        equal = std::to_wstring(value->integer) == *q.whereValue.text;
    }
    return equal != q.whereNegated;
}

CIMTYPE cimTypeOf(const profile::WmiValue& value) {
    switch (value.vt) {
        case VT_NULL:
        case VT_EMPTY:
        case VT_BSTR: return CIM_STRING;
        case VT_ARRAY | VT_BSTR: return CIM_STRING | CIM_FLAG_ARRAY;
        case VT_BOOL: return CIM_BOOLEAN;
        case VT_I1: return CIM_SINT8;
        case VT_UI1: return CIM_UINT8;
        case VT_I2: return CIM_SINT16;
        case VT_UI2: return CIM_UINT16;
        case VT_UI4: return CIM_UINT32;
        case VT_I8: return CIM_SINT64;
        case VT_UI8: return CIM_UINT64;
        default: return CIM_SINT32;
    }
}

// Builds the VARIANT that Get hands out; BSTRs and arrays are real ones, tracked.
// GCC 12 takes "literal" + std::string&& for an overlapping memcpy (GCC bug 105651).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
void fillVariant(MachineState& m, const profile::WmiValue& value, VARIANT& out, const std::string& origin) {
    VariantInit(&out);
    out.vt = value.vt;
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL: break;
        case VT_BSTR:
            out.bstrVal = ::SysAllocString(value.text.c_str());
            m.trackBstr(out.bstrVal, "\"" + toUtf8(value.text) + "\" from Get of " + origin);
            break;
        case VT_ARRAY | VT_BSTR: {
            SAFEARRAY* array = ::SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(value.strings.size()));
            for (LONG i = 0; array && i < static_cast<LONG>(value.strings.size()); ++i) {
                BSTR element = ::SysAllocString(value.strings[i].c_str());
                ::SafeArrayPutElement(array, &i, element);  // the array keeps its own copy
                ::SysFreeString(element);
            }
            out.parray = array;
            if (array) m.safeArrays[array] = "from Get of " + origin;
            break;
        }
        case VT_BOOL: out.boolVal = value.integer ? VARIANT_TRUE : VARIANT_FALSE; break;
        case VT_I1: out.cVal = static_cast<CHAR>(value.integer); break;
        case VT_UI1: out.bVal = static_cast<BYTE>(value.integer); break;
        case VT_I2: out.iVal = static_cast<SHORT>(value.integer); break;
        case VT_UI2: out.uiVal = static_cast<USHORT>(value.integer); break;
        case VT_I4: out.lVal = static_cast<LONG>(value.integer); break;
        case VT_UI4: out.ulVal = static_cast<ULONG>(value.integer); break;
        case VT_INT: out.intVal = static_cast<INT>(value.integer); break;
        case VT_UINT: out.uintVal = static_cast<UINT>(value.integer); break;
        default: out.llVal = value.integer; break;  // VT_I8, VT_UI8 and anything else integral
    }
}
#pragma GCC diagnostic pop

// ---------------------------------------------------------------------------

class FakeClassObject final : public FakeObject<IWbemClassObject> {
public:
    FakeClassObject(MachineState& m, std::wstring className, profile::WmiRow row, const Query& query)
        : FakeObject(m, IID_IWbemClassObject, "IWbemClassObject", toUtf8(className)),
          className_(std::move(className)),
          row_(std::move(row)),
          query_(query) {}

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type, LONG* flavor) override {
        if (!machine_) return WBEM_E_FAILED;
        std::lock_guard lock(machine_->mutex);
        auto origin = toUtf8(className_) + "." + (name ? toUtf8(name) : std::string("(null)"));
        machine_->record("Get", origin);
        if (!name) return WBEM_E_INVALID_PARAMETER;
        if (equalsIgnoreCase(name, L"__CLASS")) {
            if (value) fillVariant(*machine_, profile::WmiValue{VT_BSTR, className_, 0, {}}, *value, origin);
            if (type) *type = CIM_STRING;
            if (flavor) *flavor = WBEM_FLAVOR_ORIGIN_SYSTEM;
            return WBEM_S_NO_ERROR;
        }
        const auto* property = selected(name) ? findProperty(row_, name) : nullptr;
        if (!property) return WBEM_E_NOT_FOUND;
        if (value) fillVariant(*machine_, *property, *value, origin);
        if (type) *type = cimTypeOf(*property);
        if (flavor) *flavor = WBEM_FLAVOR_ORIGIN_LOCAL;
        return WBEM_S_NO_ERROR;
    }

    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override { return kNotSupported; }
    // The row's properties in order, as a capture reads a whole row.
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override {
        if (!machine_) return WBEM_E_FAILED;
        std::lock_guard lock(machine_->mutex);
        machine_->record("BeginEnumeration", toUtf8(className_));
        nextProperty_ = 0;
        enumerating_ = true;
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE Next(LONG, BSTR* name, VARIANT* value, CIMTYPE* type, LONG* flavor) override {
        if (!machine_) return WBEM_E_FAILED;
        std::lock_guard lock(machine_->mutex);
        if (!enumerating_) return WBEM_E_UNEXPECTED;
        const auto& properties = row_.properties;
        while (nextProperty_ < properties.size() && !selected(properties[nextProperty_].first)) ++nextProperty_;
        if (nextProperty_ >= properties.size()) return WBEM_S_NO_MORE_DATA;
        const auto& [propertyName, property] = properties[nextProperty_++];
        const auto origin = toUtf8(className_) + "." + toUtf8(propertyName);
        if (name) {
            *name = ::SysAllocString(propertyName.c_str());
            machine_->trackBstr(*name, "property name from Next of " + origin);
        }
        if (value) fillVariant(*machine_, property, *value, origin);
        if (type) *type = cimTypeOf(property);
        if (flavor) *flavor = WBEM_FLAVOR_ORIGIN_LOCAL;
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE EndEnumeration() override {
        enumerating_ = false;
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**, IWbemClassObject**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**, IWbemClassObject**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override { return kNotSupported; }

private:
    // A query that names its properties exposes only those.
    bool selected(std::wstring_view name) const {
        if (query_.allProperties) return true;
        return std::any_of(query_.properties.begin(), query_.properties.end(),
                           [&](const std::wstring& p) { return equalsIgnoreCase(p, name); });
    }

    std::wstring className_;
    profile::WmiRow row_;
    Query query_;
    size_t nextProperty_ = 0;
    bool enumerating_ = false;
};

class FakeEnumerator final : public FakeObject<IEnumWbemClassObject> {
public:
    FakeEnumerator(MachineState& m, std::wstring className, std::vector<profile::WmiRow> rows, Query query,
                   std::optional<HRESULT> nextFault)
        : FakeObject(m, IID_IEnumWbemClassObject, "IEnumWbemClassObject", toUtf8(className)),
          className_(std::move(className)),
          rows_(std::move(rows)),
          query_(std::move(query)),
          nextFault_(nextFault) {}

    HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned) override {
        if (!machine_) return WBEM_E_FAILED;
        std::lock_guard lock(machine_->mutex);
        machine_->record("Next", toUtf8(className_));
        machine_->recordFlags("timeout=" + hexArgument(static_cast<uint32_t>(timeout)) +
                              " count=" + std::to_string(count));
        if (!objects || !returned) return WBEM_E_INVALID_PARAMETER;
        *returned = 0;
        while (*returned < count && position_ < rows_.size()) {
            objects[(*returned)++] = new FakeClassObject(*machine_, className_, rows_[position_++], query_);
        }
        if (*returned == count) return WBEM_S_NO_ERROR;
        if (*returned == 0 && nextFault_) return *nextFault_;
        return WBEM_S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Reset() override { return kNotSupported; }  // forward-only, as the library asks for
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE Skip(LONG, ULONG) override { return kNotSupported; }

private:
    std::wstring className_;
    std::vector<profile::WmiRow> rows_;
    Query query_;
    std::optional<HRESULT> nextFault_;
    size_t position_ = 0;
};

std::optional<HRESULT> faultFor(const std::map<std::wstring, int32_t>& faults, const std::wstring& className) {
    for (const auto& [name, hr] : faults)
        if (equalsIgnoreCase(name, className)) return hr;
    return std::nullopt;
}

class FakeServices final : public FakeObject<IWbemServices> {
public:
    FakeServices(MachineState& m, std::wstring nameSpace)
        : FakeObject(m, IID_IWbemServices, "IWbemServices", toUtf8(nameSpace)) {}

    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR queryText, LONG flags, IWbemContext* context,
                                        IEnumWbemClassObject** result) override {
        if (!machine_) return WBEM_E_FAILED;
        auto& m = *machine_;
        std::lock_guard lock(m.mutex);
        m.record("ExecQuery", queryText ? toUtf8(queryText) : "(null)");
        m.recordFlags("language=" + (language ? toUtf8(language) : std::string("(null)")) +
                      " flags=" + hexArgument(static_cast<uint32_t>(flags)) + (context ? " context" : ""));
        if (!result) return WBEM_E_INVALID_PARAMETER;
        *result = nullptr;
        if (!language || !equalsIgnoreCase(language, L"WQL")) return WBEM_E_INVALID_QUERY_TYPE;
        if (!queryText) return WBEM_E_INVALID_PARAMETER;
        auto query = QueryParser(queryText).parse();
        if (!query) return WBEM_E_INVALID_QUERY;
        const auto& faults = m.profile.wmi.faults;
        if (faults.execQuery) return faults.execQuery;
        if (auto fault = faultFor(faults.execQueryByClass, query->className)) return *fault;

        std::vector<profile::WmiRow> rows;
        for (const auto& wmiClass : m.profile.wmi.classes) {
            if (!equalsIgnoreCase(wmiClass.name, query->className)) continue;
            if (!wmiClass.known) return WBEM_E_INVALID_CLASS;
            for (const auto& row : wmiClass.rows)
                if (matches(row, *query)) rows.push_back(row);
        }
        *result = new FakeEnumerator(m, query->className, std::move(rows), *query,
                                     faultFor(faults.nextByClass, query->className));
        return WBEM_S_NO_ERROR;
    }

    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**,
                                            IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink*) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG, IWbemObjectSink**) override { return kNotSupported; }
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR, LONG, IWbemContext*, IWbemClassObject**,
                                        IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                                    IEnumWbemClassObject**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                                         IWbemObjectSink*) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                                         IWbemClassObject**, IWbemCallResult**) override {
        return kNotSupported;
    }
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                                              IWbemObjectSink*) override {
        return kNotSupported;
    }
};

class FakeLocator final : public FakeObject<IWbemLocator> {
public:
    explicit FakeLocator(MachineState& m) : FakeObject(m, IID_IWbemLocator, "IWbemLocator", "") {}

    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR user, const BSTR password,
                                            const BSTR locale, LONG flags, const BSTR authority, IWbemContext* context,
                                            IWbemServices** services) override {
        if (!machine_) return WBEM_E_FAILED;
        auto& m = *machine_;
        std::lock_guard lock(m.mutex);
        m.record("ConnectServer", resource ? toUtf8(resource) : "(null)");
        m.recordFlags(std::string(user ? "user " : "") + (password ? "password " : "") +
                      "locale=" + (locale ? toUtf8(locale) : std::string("(null)")) +
                      " flags=" + hexArgument(static_cast<uint32_t>(flags)) + (authority ? " authority" : "") +
                      (context ? " context" : ""));
        if (!services) return WBEM_E_INVALID_PARAMETER;
        *services = nullptr;
        if (m.profile.wmi.faults.connectServer) return m.profile.wmi.faults.connectServer;
        if (!resource) return WBEM_E_INVALID_PARAMETER;
        std::wstring name(resource);
        // The one namespace a profile describes; "root\cimv2" in any case and either slash.
        std::replace(name.begin(), name.end(), L'/', L'\\');
        if (!equalsIgnoreCase(name, L"ROOT\\CIMV2")) return WBEM_E_INVALID_NAMESPACE;
        *services = new FakeServices(m, resource);
        return WBEM_S_NO_ERROR;
    }
};

}  // namespace

IWbemLocator* createFakeLocator(MachineState& m) { return new FakeLocator(m); }

bool isFakeServices(MachineState& m, IUnknown* object) {
    return std::any_of(m.comObjects.begin(), m.comObjects.end(), [&](FakeComObject* candidate) {
        return candidate->kind() == "IWbemServices" && candidate->unknown() == object;
    });
}

}  // namespace Corvane::simulated::detail
