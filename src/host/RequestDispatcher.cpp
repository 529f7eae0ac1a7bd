#include "host/RequestDispatcher.h"

#include <exception>
#include <optional>
#include <utility>

#include "base/DiagnosticLog.h"
#include "codec/DecodeError.h"
#include "codec/JsonText.h"
#include "codec/RequestRefused.h"
#include "host/FrameReader.h"

namespace snh {
namespace {

// The program and mode, never the arguments: they may hold passwords or keys.
void LogConnect(const ConnectParams& params, bool connected) {
  if (!DiagnosticLogOpen()) return;
  if (connected) return LogDiagnostic("connect: ignored, a client is running");
  LogDiagnostic("connect: program {}, mode {}, argument count {}", LoggedText(params.fileName),
                params.mode ? LoggedText(*params.mode) : std::string("(none)"), params.arguments.size());
}

}  // namespace

namespace {

// A size within the accepted range, in whole cells; RequestRefused otherwise.
Coord CheckedConsoleSize(const RequestedSize& size) {
  const auto fits = [](double side) {
    return side >= kMinConsoleSide && side <= kMaxConsoleSide && side == static_cast<int>(side);
  };
  if (!fits(size.x) || !fits(size.y)) throw RequestRefused(texts::kInvalidConsoleSize);
  return Coord{static_cast<std::int16_t>(size.x), static_cast<std::int16_t>(size.y)};
}

}  // namespace

void DispatchRequest(Request request, JsonModule& json, SessionControl& session,
                     const VersionQuery& queryVersion) {
  const std::string& type = request.type;
  LogDiagnostic("request: {}", LoggedText(type));
  if (type == "getVersion") {
    Response reply;
    reply.type = "version";
    reply.version = queryVersion();
    json.WriteMessage(reply);
  } else if (type == "connect") {
    if (request.connectParams) {
      LogConnect(*request.connectParams, session.IsConnected());
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
      session.WriteInput(std::move(*request.input));
    } else {
      json.WriteMessage(ErrorResponse(texts::kNotConnected));
    }
  } else if (type == "getCapabilities") {
    Response reply;
    reply.type = "capabilities";
    reply.capabilities = Capabilities();
    json.WriteMessage(reply);
  } else if (type == "resize") {
    if (!request.consoleSize) {
      json.WriteMessage(ErrorResponse(texts::kInvalidFormat));
      return;
    }
    const Coord size = CheckedConsoleSize(*request.consoleSize);
    if (!session.IsConnected()) {
      json.WriteMessage(ErrorResponse(texts::kNotConnected));
      return;
    }
    session.Resize(size);
  } else if (type == "closeStdin") {
    if (session.IsConnected()) {
      session.CloseInput();
    } else {
      json.WriteMessage(ErrorResponse(texts::kNotConnected));
    }
  } else if (type == "pauseOutput" || type == "resumeOutput") {
    if (session.IsConnected()) {
      session.SetOutputPaused(type == "pauseOutput");
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
    while (std::optional<FrameBody> body = ReadFrame(input)) {
      std::optional<Request> request;
      try {
        request = json.DecodeRequest(*body);
      } catch (const DecodeError&) {
        // Answered once the rest of the frame has been read.
      }
      // A request is handled only once its whole frame has been read, whether it decoded or not.
      body->Skip();
      if (!request) {
        json.WriteMessage(ErrorResponse(texts::kInvalidFormat));
        continue;
      }
      try {
        DispatchRequest(std::move(*request), json, session, queryVersion);
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
