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
  std::string text = carry_.Take(std::move(chunk));
  // A read that only began a character has nothing to show yet; the next read carries it.
  if (text.empty()) return;
  Response message;
  message.type = type_;
  message.outputLine = std::move(text);
  json_->WriteMessage(message);
}

void PseudoConsoleOutputHandler::operator()(std::string chunk) {
  std::string raw = carry_.Take(std::move(chunk));
  // Only a cut character is held back from the raw content: any other byte is sent as read, even one
  // that leaves the plain text empty, so that the raw contents concatenate to the console's output.
  if (raw.empty()) return;
  ProcessedOutput processed = processor_.Process(raw);
  Response message;
  message.type = "pseudo_console_output";
  message.pseudoConsoleOutput = PseudoConsoleOutput{std::move(raw), std::move(processed.processedContent),
                                                    std::move(processed.windowTitle)};
  json_->WriteMessage(message);
}

}  // namespace snh
