#include "host/RequestDispatcher.h"

#include <exception>

#include "codec/DecodeError.h"
#include "codec/RequestRefused.h"

namespace snh {

void DispatchRequest(const Request& request, JsonModule& json, SessionControl& session,
                     const VersionQuery& queryVersion) {
  const std::string& type = request.type;
  if (type == "getVersion") {
    Response reply;
    reply.type = "version";
    reply.version = queryVersion();
    json.WriteMessage(reply);
  } else if (type == "connect") {
    if (request.connectParams) {
      session.ConnectSSH(*request.connectParams);
    } else {
      json.WriteMessage(ErrorResponse(texts::kInvalidFormat));
    }
  } else if (type == "disconnect") {
    session.Disconnect();
  } else if (type == "stdin") {
    // The presence of the text is checked before the connection.
    if (!request.input) {
      json.WriteMessage(ErrorResponse(texts::kInvalidFormat));
    } else if (session.IsConnected()) {
      session.WriteInput(*request.input);
    } else {
      json.WriteMessage(ErrorResponse(texts::kNotConnected));
    }
  } else if (type == "readConsole") {
    json.WriteMessage(ErrorResponse(texts::kNotImplementedYet));
  } else {
    json.WriteMessage(ErrorResponse(texts::kUnknownType));
  }
}

void RunRequestLoop(ByteSource& input, JsonModule& json, SessionControl& session,
                    const VersionQuery& queryVersion) {
  try {
    while (std::optional<std::string> text = ReadMessage(input)) {
      Request request;
      try {
        request = json.ParseRequest(*text);
      } catch (const DecodeError&) {
        json.WriteMessage(ErrorResponse(texts::kInvalidFormat));
        continue;
      }
      text.reset();
      try {
        DispatchRequest(request, json, session, queryVersion);
      } catch (const RequestRefused& refusal) {
        json.WriteMessage(ErrorResponse(refusal.what()));
      }
    }
  } catch (const std::exception& error) {
    try {
      json.WriteMessage(ErrorResponse(error.what()));
    } catch (const std::exception&) {
      // The reply could not be built either; the host shuts down all the same.
    }
  }
}

}  // namespace snh
