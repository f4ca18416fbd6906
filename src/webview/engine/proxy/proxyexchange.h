#pragma once
// One exchange through the engine's proxy as its owner sees it: the request,
// the owner's decision on it, the response, and the owner's interface.
#include "engine/proxy/httpwire.h"

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QtGlobal>

#include <optional>

namespace engine {

struct ProxyRequest {
    http::RequestHead head;  // target: the absolute URL
    QByteArray body;
};

struct ProxyResponse {
    http::ResponseHead head;
    QByteArray body;
};

struct RequestDecision {
    enum Action { Forward, Answer, Fail };
    Action action = Forward;
    // Forward: the request to send. Its body goes out with a Content-Length.
    ProxyRequest request;
    // Forward: the whole response goes to the owner (responseArrived) first.
    bool holdResponse = false;
    // Forward: the local address the connection leaves from (null: any).
    QHostAddress bindAddress;
    // Forward: the response's Set-Cookie fields are dropped (cookies off).
    bool withoutCookies = false;
    // Forward, response not held: fields set on the response's head (each
    // replacing the server's field of that name) before the page gets it.
    http::HeaderList responseFields;
    // Forward: the proxy to go through instead of the process-wide upstream.
    std::optional<QNetworkProxy> upstream;
    // Answer: the response the page gets; Content-Length is set from the body.
    ProxyResponse answer;
};

class ProxyOwner {
public:
    virtual ~ProxyOwner() = default;
    // A tagged request arrived whole (tag header removed). Answer with decide.
    virtual void requestArrived(quint64 exchange, const QByteArray& tag, const ProxyRequest& request) = 0;
    // A held response arrived whole (body de-chunked). Answer with deliver.
    virtual void responseArrived(quint64 exchange, const ProxyResponse& response) = 0;
    // The exchange is over: answered, failed, or the page went away. No call
    // about it follows.
    virtual void exchangeEnded(quint64 exchange) = 0;
};

}  // namespace engine
