// The WMI backend against a fake IWbemServices: a small COM object that
// implements only what the backend calls and writes down what it was given.
// The fakes belong to the test, so each one's references can be counted
// back at the end: the backend must give back every one it took.

// wmi_com.h brings the system's headers and must come first.
#include "app/command_line.h"
#include "app/management/wmi_backend.h"
#include "app/management/wmi_com.h"
#include "app_test_support.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace mgmt = velmora::management;
using mgmt::ComPtr;

namespace {

// What the fakes do not implement answers this.
#define VELMORA_UNUSED(name, ...)                                                                  \
    HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override {                                         \
        return WBEM_E_NOT_SUPPORTED;                                                               \
    }

// IUnknown for an object the test owns: references are counted, never
// deleting, so the test can see what the backend did not give back.
template <typename Interface>
class Counted : public Interface {
public:
    explicit Counted(const IID& iid) : iid_(iid) {}
    virtual ~Counted() = default;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, iid_)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    // The test's own reference is the one left.
    ULONG references() const { return references_; }

private:
    IID iid_;
    ULONG references_ = 1;
};

class FakeObject final : public Counted<IWbemClassObject> {
public:
    FakeObject() : Counted(IID_IWbemClassObject) {}
    ~FakeObject() override {
        for (auto& [name, value] : properties_)
            VariantClear(&value);
    }

    std::function<FakeObject*()> spawn;          // SpawnInstance's new object
    std::map<std::wstring, FakeObject*> methods; // a method's input signature, or null

    void Set(const std::wstring& name, const VARIANT& value) {
        VARIANT& slot = properties_[name];
        VariantClear(&slot);
        VariantInit(&slot);
        VariantCopy(&slot, const_cast<VARIANT*>(&value));
    }
    // The properties as the test compares them: "NAME=VALUE" joined by
    // blanks, VALUE "null", a number, a text or "[A,B]".
    std::string Text() const {
        std::string text;
        for (const auto& [name, value] : properties_) {
            if (!text.empty()) text += ' ';
            text += mgmt::Utf8(name) + '=' + ValueText(value);
        }
        return text;
    }

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE*, LONG*) override {
        const auto found = properties_.find(name);
        if (found == properties_.end()) return WBEM_E_NOT_FOUND;
        VariantInit(value);
        return VariantCopy(value, &found->second);
    }
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, LONG, VARIANT* value, CIMTYPE) override {
        Set(name, *value);
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject** instance) override {
        if (!spawn) return WBEM_E_FAILED;
        FakeObject* made = spawn();
        made->AddRef();
        *instance = made;
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR name, LONG, IWbemClassObject** in,
                                        IWbemClassObject** out) override {
        const auto found = methods.find(name);
        if (found == methods.end()) return WBEM_E_NOT_FOUND;
        if (found->second) found->second->AddRef();
        *in = found->second;
        if (out) *out = nullptr;
        return WBEM_S_NO_ERROR;
    }

    VELMORA_UNUSED(GetQualifierSet, IWbemQualifierSet**)
    VELMORA_UNUSED(Delete, LPCWSTR)
    VELMORA_UNUSED(GetNames, LPCWSTR, LONG, VARIANT*, SAFEARRAY**)
    VELMORA_UNUSED(BeginEnumeration, LONG)
    VELMORA_UNUSED(Next, LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*)
    VELMORA_UNUSED(EndEnumeration)
    VELMORA_UNUSED(GetPropertyQualifierSet, LPCWSTR, IWbemQualifierSet**)
    VELMORA_UNUSED(Clone, IWbemClassObject**)
    VELMORA_UNUSED(GetObjectText, LONG, BSTR*)
    VELMORA_UNUSED(SpawnDerivedClass, LONG, IWbemClassObject**)
    VELMORA_UNUSED(CompareTo, LONG, IWbemClassObject*)
    VELMORA_UNUSED(GetPropertyOrigin, LPCWSTR, BSTR*)
    VELMORA_UNUSED(InheritsFrom, LPCWSTR)
    VELMORA_UNUSED(PutMethod, LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*)
    VELMORA_UNUSED(DeleteMethod, LPCWSTR)
    VELMORA_UNUSED(BeginMethodEnumeration, LONG)
    VELMORA_UNUSED(NextMethod, LONG, BSTR*, IWbemClassObject**, IWbemClassObject**)
    VELMORA_UNUSED(EndMethodEnumeration)
    VELMORA_UNUSED(GetMethodQualifierSet, LPCWSTR, IWbemQualifierSet**)
    VELMORA_UNUSED(GetMethodOrigin, LPCWSTR, BSTR*)

private:
    static std::string ValueText(const VARIANT& value) {
        if (value.vt == VT_NULL) return "null";
        if (value.vt == VT_I4) return std::to_string(value.lVal);
        if (value.vt == VT_BOOL) return value.boolVal ? "true" : "false";
        if (value.vt == VT_BSTR) return mgmt::Utf8({value.bstrVal, SysStringLen(value.bstrVal)});
        if (value.vt == (VT_ARRAY | VT_BSTR)) {
            std::string list = "[";
            LONG low = 0, high = -1;
            SafeArrayGetLBound(value.parray, 1, &low);
            SafeArrayGetUBound(value.parray, 1, &high);
            for (LONG i = low; i <= high; ++i) {
                BSTR element = nullptr;
                SafeArrayGetElement(value.parray, &i, &element);
                list += (i == low ? "" : ",") + mgmt::Utf8({element, SysStringLen(element)});
                SysFreeString(element);
            }
            return list + "]";
        }
        return "vt" + std::to_string(value.vt);
    }

    std::map<std::wstring, VARIANT> properties_;
};

class FakeRows final : public Counted<IEnumWbemClassObject> {
public:
    FakeRows(std::vector<FakeObject*> rows, std::optional<std::size_t> failAt)
        : Counted(IID_IEnumWbemClassObject), rows_(std::move(rows)), failAt_(failAt) {}

    HRESULT STDMETHODCALLTYPE Next(LONG, ULONG count, IWbemClassObject** objects,
                                   ULONG* returned) override {
        *returned = 0;
        if (count != 1) return WBEM_E_INVALID_PARAMETER;
        if (failAt_ && next_ == *failAt_) return WBEM_E_TRANSPORT_FAILURE;
        if (next_ == rows_.size()) return WBEM_S_FALSE;
        FakeObject* row = rows_[next_++];
        row->AddRef();
        *objects = row;
        *returned = 1;
        return WBEM_S_NO_ERROR;
    }
    VELMORA_UNUSED(Reset)
    VELMORA_UNUSED(NextAsync, ULONG, IWbemObjectSink*)
    VELMORA_UNUSED(Clone, IEnumWbemClassObject**)
    VELMORA_UNUSED(Skip, LONG, ULONG)

private:
    std::vector<FakeObject*> rows_;
    std::optional<std::size_t> failAt_;
    std::size_t next_ = 0;
};

const std::wstring kClassName = L"Win32_NetworkAdapterConfiguration";

// One call of ExecMethod as the fake saw it.
struct MethodCall {
    std::string path;
    std::string method;
    std::optional<std::string> inputs; // nothing: no input object
};

class FakeServices final : public Counted<IWbemServices> {
public:
    FakeServices() : Counted(IID_IWbemServices) {}

    // Every fake is made here and lives as long as the test.
    FakeObject* Make() {
        objects_.push_back(std::make_unique<FakeObject>());
        return objects_.back().get();
    }
    FakeObject* AddAdapter(std::int32_t index) {
        FakeObject* row = Make();
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_I4;
        value.lVal = index;
        row->Set(L"Index", value);
        adapters.push_back(row);
        return row;
    }
    // The class with the methods of the real one, each taking its
    // parameters through an instance of its signature.
    void DefineClass() {
        definition = Make();
        for (const wchar_t* method :
             {L"SetDNSServerSearchOrder", L"SetGateways", L"EnableStatic"}) {
            FakeObject* signature = Make();
            signature->spawn = [this] { return Make(); };
            definition->methods[method] = signature;
        }
        definition->methods[L"EnableDHCP"] = nullptr;
    }

    // What the fake answers.
    std::vector<FakeObject*> adapters;
    FakeObject* definition = nullptr;
    HRESULT queryResult = WBEM_S_NO_ERROR;
    std::optional<std::size_t> rowsFailAt;
    std::map<std::string, HRESULT> methodResults; // instead of a return value
    // ReturnValue, 0 where not named; nothing: left out.
    std::map<std::string, std::optional<LONG>> codes;
    // What it was given.
    std::vector<std::string> queries;
    std::vector<MethodCall> calls;

    ULONG Leftover() {
        ULONG extra = references() - 1;
        for (const auto& object : objects_)
            extra += object->references() - 1;
        for (const auto& rows : rows_)
            extra += rows->references() - 1;
        return extra;
    }

    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR query, LONG, IWbemContext*,
                                        IEnumWbemClassObject** rows) override {
        queries.push_back(mgmt::Utf8({language, SysStringLen(language)}) + ':' +
                          mgmt::Utf8({query, SysStringLen(query)}));
        if (FAILED(queryResult)) return queryResult;
        rows_.push_back(std::make_unique<FakeRows>(adapters, rowsFailAt));
        rows_.back()->AddRef();
        *rows = rows_.back().get();
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR path, LONG, IWbemContext*,
                                        IWbemClassObject** object, IWbemCallResult**) override {
        const std::wstring_view text{path, SysStringLen(path)};
        FakeObject* found = nullptr;
        if (text == kClassName) found = definition;
        for (FakeObject* adapter : adapters)
            if (text == kClassName + L".Index=" + IndexOf(*adapter)) found = adapter;
        if (!found) return WBEM_E_NOT_FOUND;
        found->AddRef();
        *object = found;
        return WBEM_S_NO_ERROR;
    }
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR path, const BSTR method, LONG, IWbemContext*,
                                         IWbemClassObject* in, IWbemClassObject** out,
                                         IWbemCallResult**) override {
        MethodCall call{mgmt::Utf8({path, SysStringLen(path)}),
                        mgmt::Utf8({method, SysStringLen(method)}), std::nullopt};
        // Only the fake's own objects come back to it.
        if (in) call.inputs = static_cast<FakeObject*>(in)->Text();
        calls.push_back(call);
        if (auto failure = methodResults.find(call.method); failure != methodResults.end())
            return failure->second;
        FakeObject* outputs = Make();
        const auto code = codes.find(call.method);
        if (code == codes.end() || code->second) {
            VARIANT value;
            VariantInit(&value);
            value.vt = VT_I4;
            value.lVal = code == codes.end() ? 0 : *code->second;
            outputs->Set(L"ReturnValue", value);
        }
        outputs->AddRef();
        *out = outputs;
        return WBEM_S_NO_ERROR;
    }

    VELMORA_UNUSED(OpenNamespace, const BSTR, LONG, IWbemContext*, IWbemServices**,
                   IWbemCallResult**)
    VELMORA_UNUSED(CancelAsyncCall, IWbemObjectSink*)
    VELMORA_UNUSED(QueryObjectSink, LONG, IWbemObjectSink**)
    VELMORA_UNUSED(GetObjectAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    VELMORA_UNUSED(PutClass, IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**)
    VELMORA_UNUSED(PutClassAsync, IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*)
    VELMORA_UNUSED(DeleteClass, const BSTR, LONG, IWbemContext*, IWbemCallResult**)
    VELMORA_UNUSED(DeleteClassAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    VELMORA_UNUSED(CreateClassEnum, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**)
    VELMORA_UNUSED(CreateClassEnumAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    VELMORA_UNUSED(PutInstance, IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**)
    VELMORA_UNUSED(PutInstanceAsync, IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*)
    VELMORA_UNUSED(DeleteInstance, const BSTR, LONG, IWbemContext*, IWbemCallResult**)
    VELMORA_UNUSED(DeleteInstanceAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    VELMORA_UNUSED(CreateInstanceEnum, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**)
    VELMORA_UNUSED(CreateInstanceEnumAsync, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    VELMORA_UNUSED(ExecQueryAsync, const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*)
    VELMORA_UNUSED(ExecNotificationQuery, const BSTR, const BSTR, LONG, IWbemContext*,
                   IEnumWbemClassObject**)
    VELMORA_UNUSED(ExecNotificationQueryAsync, const BSTR, const BSTR, LONG, IWbemContext*,
                   IWbemObjectSink*)
    VELMORA_UNUSED(ExecMethodAsync, const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                   IWbemObjectSink*)

private:
    static std::wstring IndexOf(FakeObject& adapter) {
        VARIANT value;
        adapter.Get(L"Index", 0, &value, nullptr, nullptr);
        return std::to_wstring(value.lVal);
    }

    std::vector<std::unique_ptr<FakeObject>> objects_;
    std::vector<std::unique_ptr<FakeRows>> rows_;
};

void SetText(FakeObject& object, const wchar_t* name, const std::wstring& text) {
    mgmt::Variant value;
    value.get()->vt = VT_BSTR;
    value.get()->bstrVal = SysAllocString(text.c_str());
    object.Set(name, *value);
}

void SetTexts(FakeObject& object, const wchar_t* name, const std::vector<std::wstring>& texts) {
    mgmt::Variant value;
    value.get()->vt = VT_ARRAY | VT_BSTR;
    value.get()->parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
        mgmt::Bstr text{texts[static_cast<std::size_t>(i)]};
        SafeArrayPutElement(value.get()->parray, &i, text.get());
    }
    object.Set(name, *value);
}

void SetNull(FakeObject& object, const wchar_t* name) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_NULL;
    object.Set(name, value);
}

void SetBoolean(FakeObject& object, const wchar_t* name, bool on) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BOOL;
    value.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
    object.Set(name, value);
}

class WmiBackendTest : public ::testing::Test {
public:
    WmiBackendTest() {
        fake.DefineClass();
        FakeObject* wired = fake.AddAdapter(7);
        SetText(*wired, L"Description", L"Intel(R) Ethernet Connection I219-V");
        SetTexts(*wired, L"DNSServerSearchOrder", {L"192.168.1.1", L"1.1.1.1", L"9.9.9.9"});
        SetBoolean(*wired, L"DHCPEnabled", false);
        SetTexts(*wired, L"IPAddress", {L"192.168.1.20", L"fe80::1"});
        SetTexts(*wired, L"IPSubnet", {L"255.255.255.0", L"64"});
        SetTexts(*wired, L"DefaultIPGateway", {L"192.168.1.1"});
        // No server list and no description: what a half-set-up adapter shows.
        FakeObject* bare = fake.AddAdapter(12);
        SetNull(*bare, L"DNSServerSearchOrder");
    }
    ~WmiBackendTest() override {
        backend.reset();
        // Every reference the backend took, it gave back.
        EXPECT_EQ(fake.Leftover(), 0u);
    }

    mgmt::AdapterConfigurations Query() {
        return backend->Connect(mgmt::ConnectionString(mgmt::kLocalComputer))
            ->ExecQuery(mgmt::kAdapterQuery);
    }
    std::unique_ptr<mgmt::AdapterConfiguration> Adapter(std::int32_t index) {
        return backend->GetObject(mgmt::ConfigurationPath(index));
    }

    FakeServices fake;
    std::unique_ptr<mgmt::WmiBackend> backend = std::make_unique<mgmt::WmiBackend>([this] {
        fake.AddRef();
        return mgmt::WrapWmiServices(ComPtr<IWbemServices>::Adopt(&fake));
    });
};

TEST_F(WmiBackendTest, QueryListsEachConfigurationWithItsProperties) {
    const auto adapters = Query();
    EXPECT_EQ(fake.queries, (std::vector<std::string>{"WQL:" + std::string{mgmt::kAdapterQuery}}));
    ASSERT_EQ(adapters.size(), 2u);
    EXPECT_EQ(adapters[0]->Index(), 7);
    EXPECT_EQ(adapters[0]->Description(), "Intel(R) Ethernet Connection I219-V");
    EXPECT_EQ(adapters[0]->DNSServerSearchOrder(0), "192.168.1.1");
    EXPECT_EQ(adapters[0]->DNSServerSearchOrder(2), "9.9.9.9");
    EXPECT_THROW(adapters[0]->DNSServerSearchOrder(3), mgmt::ManagementError);
    // What cannot be read fails alone, as the window expects.
    EXPECT_EQ(adapters[1]->Index(), 12);
    EXPECT_THROW(adapters[1]->Description(), mgmt::ManagementError);
    EXPECT_THROW(adapters[1]->DNSServerSearchOrder(0), mgmt::ManagementError);
    // The object by its path holds the same.
    EXPECT_EQ(Adapter(7)->DNSServerSearchOrder(1), "1.1.1.1");
}

TEST_F(WmiBackendTest, WholeStateAndServersInUseAreReadAsFarAsTheClassTells) {
    const mgmt::DnsState state = backend->ReadDnsState(7);
    EXPECT_EQ(state.ipv4Method, "manual");
    EXPECT_EQ(state.ipv4Addresses, (std::vector<std::string>{"192.168.1.20/24"}));
    EXPECT_EQ(state.gateways, (std::vector<std::string>{"192.168.1.1"}));
    EXPECT_EQ(state.ipv4.servers, (std::vector<std::string>{"192.168.1.1", "1.1.1.1", "9.9.9.9"}));
    EXPECT_TRUE(state.ipv4.ignoreAutomatic);
    EXPECT_TRUE(state.ipv6.servers.empty());
    const mgmt::ServersInUse inUse = backend->ReadServersInUse(7);
    EXPECT_EQ(inUse.ipv4, state.ipv4.servers);
    EXPECT_EQ(inUse.gateways, state.gateways);
    // Without DHCPEnabled no state can be told, so none is recorded.
    EXPECT_THROW(backend->ReadDnsState(12), mgmt::ManagementError);
}

TEST_F(WmiBackendTest, MethodsGetTheirParametersOnTheConfigurationsPath) {
    struct Case {
        std::function<mgmt::ReturnCode(mgmt::AdapterConfiguration&)> call;
        std::string method;
        std::optional<std::string> inputs;
    };
    const std::vector<Case> cases = {
        {[](auto& a) {
             return a.SetDNSServerSearchOrder(
                 std::vector<std::string>{"9.9.9.9", "149.112.112.112"});
         },
         "SetDNSServerSearchOrder", "DNSServerSearchOrder=[9.9.9.9,149.112.112.112]"},
        {[](auto& a) { return a.SetDNSServerSearchOrder(std::vector<std::string>{""}); },
         "SetDNSServerSearchOrder", "DNSServerSearchOrder=[]"},
        {[](auto& a) { return a.SetDNSServerSearchOrder(mgmt::null); }, "SetDNSServerSearchOrder",
         "DNSServerSearchOrder=null"},
        // Left out: an input object without the parameter.
        {[](auto& a) { return a.SetDNSServerSearchOrder(mgmt::unset); }, "SetDNSServerSearchOrder",
         ""},
        {[](auto& a) { return a.EnableDHCP(); }, "EnableDHCP", std::nullopt},
        {[](auto& a) { return a.SetGateways(mgmt::null); }, "SetGateways", "DefaultIPGateway=null"},
        {[](auto& a) { return a.SetGateways(mgmt::null, mgmt::null); }, "SetGateways",
         "DefaultIPGateway=null GatewayCostMetric=null"},
    };
    for (const auto& c : cases) {
        fake.calls.clear();
        EXPECT_EQ(c.call(*Adapter(7)), 0);
        ASSERT_EQ(fake.calls.size(), 1u) << c.method;
        EXPECT_EQ(fake.calls[0].path, "Win32_NetworkAdapterConfiguration.Index=7");
        EXPECT_EQ(fake.calls[0].method, c.method);
        EXPECT_EQ(fake.calls[0].inputs, c.inputs) << c.method;
    }
}

TEST_F(WmiBackendTest, MethodsAnswerTheComponentsOwnReturnValues) {
    // ReturnValue is a uint32, which comes as a signed VARIANT.
    for (const auto& [given, answered] : std::vector<std::pair<LONG, mgmt::ReturnCode>>{
             {0, 0}, {1, 1}, {70, 70}, {91, 91}, {100, 100}, {-2147217407, 2147749889}}) {
        fake.codes["EnableDHCP"] = fake.codes["SetDNSServerSearchOrder"] = given;
        auto adapter = Adapter(7);
        EXPECT_EQ(adapter->EnableDHCP(), answered);
        EXPECT_EQ(adapter->SetDNSServerSearchOrder(mgmt::null), answered);
    }
}

TEST_F(WmiBackendTest, EveryFailureOfTheServiceIsAnError) {
    struct Case {
        const char* what;
        std::function<void(FakeServices&)> arrange;
        std::function<void(WmiBackendTest&)> act;
    };
    auto setServers = [](WmiBackendTest& t) {
        t.Adapter(7)->SetDNSServerSearchOrder(std::vector<std::string>{"9.9.9.9"});
    };
    const std::vector<Case> cases = {
        {"query refused", [](auto& f) { f.queryResult = WBEM_E_ACCESS_DENIED; },
         [](auto& t) { t.Query(); }},
        {"rows break off", [](auto& f) { f.rowsFailAt = 1; }, [](auto& t) { t.Query(); }},
        {"no such index", [](auto&) {}, [](auto& t) { t.Adapter(8); }},
        {"class unreadable", [](auto& f) { f.definition = nullptr; }, setServers},
        {"method missing", [](auto& f) { f.definition->methods.erase(L"SetDNSServerSearchOrder"); },
         setServers},
        {"method without parameters",
         [](auto& f) { f.definition->methods[L"SetGateways"] = nullptr; },
         [](auto& t) { t.Adapter(7)->SetGateways(mgmt::null); }},
        {"method fails",
         [](auto& f) { f.methodResults["SetDNSServerSearchOrder"] = WBEM_E_NOT_SUPPORTED; },
         setServers},
        {"no return value", [](auto& f) { f.codes["EnableDHCP"] = std::nullopt; },
         [](auto& t) { t.Adapter(7)->EnableDHCP(); }},
        {"foreign query", [](auto&) {},
         [](auto& t) {
             t.backend->Connect(mgmt::ConnectionString(mgmt::kLocalComputer))
                 ->ExecQuery("Select * From Win32_NetworkAdapter");
         }},
    };
    for (const auto& c : cases) {
        const auto definition = fake.definition;
        const auto methods = definition->methods;
        c.arrange(fake);
        EXPECT_THROW(c.act(*this), mgmt::ManagementError) << c.what;
        // Back to a working service for the next case.
        fake.definition = definition;
        definition->methods = methods;
        fake.queryResult = WBEM_S_NO_ERROR;
        fake.rowsFailAt.reset();
        fake.methodResults.clear();
        fake.codes.clear();
    }
}

TEST_F(WmiBackendTest, AWholeStateIsWrittenStepByStepUntilARefusal) {
    struct Case {
        const char* what;
        std::function<mgmt::DnsState(WmiBackendTest&)> state;
        std::map<std::string, std::optional<LONG>> codes;
        mgmt::ReturnCode answer;
        std::vector<std::string> calls; // METHOD: INPUTS
    };
    auto read = [](WmiBackendTest& t) { return t.backend->ReadDnsState(7); };
    auto automatic = [](WmiBackendTest&) { return mgmt::DnsState{}; };
    const std::string manual[] = {
        "EnableStatic: IPAddress=[192.168.1.20] SubnetMask=[255.255.255.0]",
        "SetGateways: DefaultIPGateway=[192.168.1.1]",
        "SetDNSServerSearchOrder: DNSServerSearchOrder=[192.168.1.1,1.1.1.1,9.9.9.9]"};
    const std::vector<Case> cases = {
        {"what was read goes back", read, {}, 0, {manual[0], manual[1], manual[2]}},
        {"DHCP without servers",
         automatic,
         {},
         0,
         {"EnableDHCP: -", "SetDNSServerSearchOrder: DNSServerSearchOrder=null"}},
        {"a restart asked for is the answer",
         automatic,
         {{"EnableDHCP", 1}},
         1,
         {"EnableDHCP: -", "SetDNSServerSearchOrder: DNSServerSearchOrder=null"}},
        {"a refusal ends it", read, {{"SetGateways", 71}}, 71, {manual[0], manual[1]}},
        {"the last refusal too",
         automatic,
         {{"SetDNSServerSearchOrder", 91}},
         91,
         {"EnableDHCP: -", "SetDNSServerSearchOrder: DNSServerSearchOrder=null"}},
    };
    for (const auto& c : cases) {
        const mgmt::DnsState state = c.state(*this);
        fake.calls.clear();
        fake.codes = c.codes;
        EXPECT_EQ(backend->WriteDnsState(7, state), c.answer) << c.what;
        std::vector<std::string> calls;
        for (const auto& call : fake.calls)
            calls.push_back(call.method + ": " + call.inputs.value_or("-"));
        EXPECT_EQ(calls, c.calls) << c.what;
    }
    // What WMI cannot keep is refused before anything changes.
    fake.calls.clear();
    mgmt::DnsState ipv6;
    ipv6.ipv6.servers = {"2620:fe::fe"};
    mgmt::DnsState unknownMethod;
    unknownMethod.ipv4Method = "link-local";
    mgmt::DnsState noAddress;
    noAddress.ipv4Method = "manual";
    for (const auto& state : {ipv6, unknownMethod, noAddress})
        EXPECT_THROW(backend->WriteDnsState(7, state), mgmt::ManagementError);
    EXPECT_TRUE(fake.calls.empty());
}

// WMI keeps no IPv6 DNS servers: a preset of both families says so and
// sends its IPv4 servers alone.
TEST_F(WmiBackendTest, APresetsIpv6ServersAreLeftOutAndSaidToBe) {
    velmora::testing::TempFolder folder;
    mgmt::RecordingBackend recording{*backend, mgmt::RecordStore{folder.path()}};
    const std::string_view args[] = {"set", "7", "--preset", "quad9", "--no-verify", "--no-flush"};
    const auto line = std::get<velmora::app::CommandLine>(velmora::app::ParseCommandLine(args));
    std::ostringstream out, err;
    EXPECT_EQ(velmora::app::RunCommand(line, recording, out, err), velmora::app::kExitSuccess)
        << err.str();
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].inputs, "DNSServerSearchOrder=[9.9.9.9,149.112.112.112]");
    EXPECT_EQ(err.str(),
              "velmora: WMI keeps no IPv6 DNS servers; the preset's IPv6 servers were left out\n");
}

TEST(WmiBackend, AConnectionThatFailsIsAnErrorAndIsTriedAgain) {
    int attempts = 0;
    mgmt::WmiBackend backend([&]() -> std::shared_ptr<mgmt::WmiConnection> {
        ++attempts;
        throw mgmt::ManagementError("WMI namespace root\\cimv2 cannot be reached");
    });
    const auto connection = mgmt::ConnectionString(mgmt::kLocalComputer);
    EXPECT_THROW(backend.Connect(connection), mgmt::ManagementError);
    EXPECT_THROW(backend.GetObject(mgmt::ConfigurationPath(7)), mgmt::ManagementError);
    EXPECT_EQ(attempts, 2);
    // Only the local machine's namespace, as the window names it.
    EXPECT_THROW(backend.Connect(mgmt::ConnectionString("server")), mgmt::ManagementError);
    EXPECT_EQ(attempts, 2);
}

} // namespace
