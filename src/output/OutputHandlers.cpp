#include "output/OutputHandlers.h"

#include "codec/Utf.h"

namespace snh {

std::string Utf8Carry::Take(std::string chunk) {
  std::string data = carry_.empty() ? std::move(chunk) : carry_ + chunk;
  const std::size_t complete = CompleteUtf8PrefixLength(data);
  carry_.assign(data, complete);
  data.resize(complete);
  return data;
}

void StreamOutputHandler::operator()(std::string chunk) {
  Response message;
  message.type = type_;
  message.outputLine = carry_.Take(std::move(chunk));
  json_->WriteMessage(message);
}

void PseudoConsoleOutputHandler::operator()(std::string chunk) {
  std::string raw = carry_.Take(std::move(chunk));
  ProcessedOutput processed = processor_.Process(raw);
  Response message;
  message.type = "pseudo_console_output";
  message.pseudoConsoleOutput = PseudoConsoleOutput{std::move(raw), std::move(processed.processedContent),
                                                    std::move(processed.windowTitle)};
  json_->WriteMessage(message);
}

}  // namespace snh
