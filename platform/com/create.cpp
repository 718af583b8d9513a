// Object creation: the process's global interface table in-process, and classes registered as
// local servers reached over their Unix socket.
#include <unistd.h>

#include <strings.h>

#include <cstring>
#include <string>

#include "com/runtime.h"

namespace cx::com {
namespace {

// Creation waits at most this long for the server to accept the class.
constexpr DWORD kCreateTimeoutMs = 5000;

// A server name that means this machine: what Windows would resolve to the local host.
bool NamesThisMachine(const OLECHAR* name) {
    std::string narrow;
    for (const OLECHAR* c = name; *c != 0 && narrow.size() < 256; ++c) {
        narrow.push_back(*c < 0x80 ? static_cast<char>(*c) : '?');
    }
    char host[256] = {};
    gethostname(host, sizeof(host) - 1);
    return narrow == "." || strcasecmp(narrow.c_str(), "localhost") == 0 ||
           strcasecmp(narrow.c_str(), host) == 0;
}

// Asks the server behind `connection` for an instance of `clsid`.
HRESULT CreateOnServer(const std::shared_ptr<Connection>& connection, REFCLSID clsid) {
    DWORD call_timeout = CxComCallTimeout();
    Message request;
    request.kind = MessageKind::kCreate;
    request.guid1 = clsid;
    request.guid2 = IID_IUnknown;
    Message answer;
    HRESULT hr =
        connection->Call(request, MessageKind::kResult, &answer,
                         call_timeout < kCreateTimeoutMs ? call_timeout : kCreateTimeoutMs);
    return SUCCEEDED(hr) ? answer.hr : hr;
}

}  // namespace
}  // namespace cx::com

HRESULT CoCreateInstanceEx(REFCLSID clsid, IUnknown* outer, DWORD context,
                           COSERVERINFO* server_info, DWORD count, MULTI_QI* results) {
    if (count == 0 || results == nullptr) return E_INVALIDARG;
    for (DWORD i = 0; i < count; ++i) {
        if (results[i].pIID == nullptr) return E_INVALIDARG;
        results[i].pItf = nullptr;
        results[i].hr = E_NOINTERFACE;
    }
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (!cx::com::ThreadIsInitialised()) return CO_E_NOTINITIALIZED;

    IUnknown* object = nullptr;
    if (clsid == CLSID_StdGlobalInterfaceTable && (context & CLSCTX_INPROC_SERVER) != 0) {
        object = cx::com::ProcessGlobalInterfaceTable();
    } else {
        if ((context & (CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)) == 0) {
            return REGDB_E_CLASSNOTREG;
        }
        if (server_info != nullptr && server_info->pwszName != nullptr &&
            server_info->pwszName[0] != 0 && !cx::com::NamesThisMachine(server_info->pwszName)) {
            return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);  // other machines: not carried
        }
        std::string socket_path;
        HRESULT hr = cx::com::LookupLocalServer(clsid, &socket_path);
        if (FAILED(hr)) return hr;
        std::shared_ptr<cx::com::Connection> connection;
        hr = cx::com::Connection::Open(socket_path, &connection);
        if (FAILED(hr)) return hr;
        hr = cx::com::CreateOnServer(connection, clsid);
        if (FAILED(hr)) {
            connection->Close();
            return hr;
        }
        cx::com::CreateProxy(connection, &object);
    }

    DWORD obtained = 0;
    for (DWORD i = 0; i < count; ++i) {
        results[i].hr =
            object->QueryInterface(*results[i].pIID, reinterpret_cast<void**>(&results[i].pItf));
        if (SUCCEEDED(results[i].hr)) ++obtained;
    }
    object->Release();
    if (obtained == 0) return E_NOINTERFACE;
    return obtained == count ? S_OK : CO_S_NOTALLINTERFACES;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         LPVOID* object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    MULTI_QI query{&riid, nullptr, S_OK};
    HRESULT hr = CoCreateInstanceEx(clsid, outer, context, nullptr, 1, &query);
    if (FAILED(hr)) return hr;
    *object = query.pItf;
    return query.hr;
}
