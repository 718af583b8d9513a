// The client-side object of a server instance: IDispatch and IConnectionPointContainer whose
// calls travel over the instance's connection, and the connection points it hands out.
#include <atomic>
#include <vector>

#include "com/runtime.h"

namespace cx::com {
namespace {

class ConnectionPointProxy;

class DispatchProxy final : public IDispatch, public IConnectionPointContainer {
  public:
    explicit DispatchProxy(std::shared_ptr<Connection> connection)
        : connection_(std::move(connection)) {}

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
        } else if (riid == IID_IConnectionPointContainer) {
            *object = static_cast<IConnectionPointContainer*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) {
            connection_->Close();
            delete this;
        }
        return left;
    }

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) *count = 0;
        return E_NOTIMPL;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return E_NOTIMPL;
    }

    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        if (names[0] == nullptr) return DISP_E_UNKNOWNNAME;
        Message request;
        request.kind = MessageKind::kGetIdOfName;
        for (const OLECHAR* c = names[0]; *c != 0; ++c) {
            if (request.name.size() == kMaxNameChars) return DISP_E_UNKNOWNNAME;
            request.name.push_back(*c);
        }
        Message answer;
        HRESULT hr = connection_->Call(request, MessageKind::kDispId, &answer);
        if (FAILED(hr)) return hr;
        if (SUCCEEDED(answer.hr)) ids[0] = answer.dispid;
        // Parameter names are not offered by the servers we talk to.
        if (SUCCEEDED(answer.hr) && count > 1) return DISP_E_UNKNOWNNAME;
        return answer.hr;
    }

    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* arg_error) override {
        if (params == nullptr || (params->cArgs > 0 && params->rgvarg == nullptr) ||
            params->cNamedArgs > params->cArgs ||
            (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr)) {
            return E_INVALIDARG;
        }
        if (params->cArgs > kMaxArguments) return DISP_E_BADPARAMCOUNT;
        if (exception != nullptr) *exception = EXCEPINFO{};
        Message request;
        request.kind = MessageKind::kInvoke;
        request.dispid = id;
        request.flags = flags;
        request.want_result = result != nullptr;
        request.args.resize(params->cArgs);
        for (UINT i = 0; i < params->cArgs; ++i) {
            UINT position = params->cArgs - 1 - i;  // DISPPARAMS hold the last argument first
            HRESULT hr = WireFromVariant(params->rgvarg[position], &request.args[i]);
            if (FAILED(hr)) {
                if (arg_error != nullptr) *arg_error = position;
                return hr;
            }
        }
        request.named.assign(params->rgdispidNamedArgs,
                             params->rgdispidNamedArgs + params->cNamedArgs);
        Message answer;
        HRESULT hr = connection_->Call(request, MessageKind::kInvokeResult, &answer);
        if (FAILED(hr)) return hr;
        for (const auto& [index, value] : answer.by_ref) {
            if (index >= params->cArgs) return RPC_E_INVALID_DATAPACKET;
            hr = StoreByRef(value, &params->rgvarg[params->cArgs - 1 - index]);
            if (FAILED(hr)) return hr;
        }
        if (result != nullptr) {
            hr = VariantFromWire(answer.result, result);
            if (FAILED(hr)) return hr;
        }
        if (arg_error != nullptr && answer.arg_error < params->cArgs) {
            *arg_error = answer.arg_error;
        }
        return answer.hr;
    }

    HRESULT EnumConnectionPoints(void** enumerator) override {
        if (enumerator != nullptr) *enumerator = nullptr;
        return E_NOTIMPL;
    }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    const std::shared_ptr<Connection>& connection() const { return connection_; }

  private:
    std::shared_ptr<Connection> connection_;
    std::atomic<ULONG> references_{1};
};

class ConnectionPointProxy final : public IConnectionPoint {
  public:
    ConnectionPointProxy(DispatchProxy* container, REFIID iid) : container_(container), iid_(iid) {
        container_->AddRef();
    }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
            AddRef();
            *object = static_cast<IConnectionPoint*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) {
            container_->Release();
            delete this;
        }
        return left;
    }

    HRESULT GetConnectionInterface(IID* iid) override {
        if (iid == nullptr) return E_POINTER;
        *iid = iid_;
        return S_OK;
    }
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override {
        if (container == nullptr) return E_POINTER;
        container_->AddRef();
        *container = container_;
        return S_OK;
    }

    HRESULT Advise(IUnknown* sink, DWORD* cookie) override {
        if (cookie == nullptr) return E_POINTER;
        *cookie = 0;
        if (sink == nullptr) return E_POINTER;
        IDispatch* events = nullptr;
        if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&events)))) {
            return CONNECT_E_CANNOTCONNECT;
        }
        Message request;
        request.kind = MessageKind::kAdvise;
        request.guid1 = iid_;
        Message answer;
        HRESULT hr = container_->connection()->Call(request, MessageKind::kAdviseResult, &answer);
        if (SUCCEEDED(hr)) hr = answer.hr;
        if (SUCCEEDED(hr)) {
            container_->connection()->AddSink(answer.cookie, events);
            *cookie = answer.cookie;
        }
        events->Release();
        return hr;
    }

    HRESULT Unadvise(DWORD cookie) override {
        // The sink is forgotten whatever the server says, so that no event reaches it later.
        container_->connection()->RemoveSink(cookie);
        Message request;
        request.kind = MessageKind::kUnadvise;
        request.guid1 = iid_;
        request.cookie = cookie;
        Message answer;
        HRESULT hr = container_->connection()->Call(request, MessageKind::kResult, &answer);
        return SUCCEEDED(hr) ? answer.hr : hr;
    }

    HRESULT EnumConnections(void** enumerator) override {
        if (enumerator != nullptr) *enumerator = nullptr;
        return E_NOTIMPL;
    }

  private:
    DispatchProxy* container_;
    IID iid_;
    std::atomic<ULONG> references_{1};
};

HRESULT DispatchProxy::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (point == nullptr) return E_POINTER;
    *point = nullptr;
    Message request;
    request.kind = MessageKind::kFindConnectionPoint;
    request.guid1 = riid;
    Message answer;
    HRESULT hr = connection_->Call(request, MessageKind::kResult, &answer);
    if (FAILED(hr)) return hr;
    if (FAILED(answer.hr)) return answer.hr;
    *point = new ConnectionPointProxy(this, riid);
    return S_OK;
}

}  // namespace

HRESULT CreateProxy(std::shared_ptr<Connection> connection, IUnknown** proxy) {
    *proxy = static_cast<IDispatch*>(new DispatchProxy(std::move(connection)));
    return S_OK;
}

}  // namespace cx::com
