#include "http/HttpInterface.h"

#include "http/HttpSocket.h"
#include "http/WinHttp.h"
#include "http/WininetHttp.h"

#include <new>

bool CreateHttpClient(IHttpBase** client, int type)
{
    if (!client) return false;
    switch (type) {
    case kHttpClientSocket:
        *client = new (std::nothrow) CHttpSocket();
        break;
    case kHttpClientWininet:
        *client = new (std::nothrow) CWininetHttp();
        break;
    case kHttpClientWinHttp:
        *client = new (std::nothrow) CWinHttp();
        break;
    default:
        *client = nullptr;
        break;
    }
    return *client != nullptr;
}
