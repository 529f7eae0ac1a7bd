#pragma once

// Reads one pipe on a thread of its own and hands every chunk of up to 1024 bytes (or the size asked) to a
// handler. A larger size takes what the pipe already holds after the first read, never waiting to fill
// a chunk. With a gate, the reader reads nothing while it is paused.
// A failed read or a failing handler is reported as an "error" message and ends the thread; the end of
// the stream (every writer gone) and Stop() end it quietly.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "codec/JsonModule.h"
#include "output/OutputGate.h"
#include "platform/PipeReadPort.h"

namespace snh {

using OutputHandler = std::function<void(std::string chunk)>;

class PipeStreamReader {
 public:
  static constexpr std::size_t kChunkSize = 1024;

  struct Settings {
    std::size_t chunkSize = kChunkSize;
    OutputGate* gate = nullptr;  // must outlive the reader
    // Runs on the reader's thread once the handler will not be called again, whatever ended the reading.
    std::function<void()> onFinished;
  };

  // Starts reading at once; the reader owns its handler. The JsonModule must outlive the reader; the
  // pipe stays the caller's.
  PipeStreamReader(NativeHandle pipe, OutputHandler handler, JsonModule& json, Settings settings);
  // Stops the reader if the owner has not.
  ~PipeStreamReader();
  PipeStreamReader(const PipeStreamReader&) = delete;
  PipeStreamReader& operator=(const PipeStreamReader&) = delete;

  // Ends the thread and waits for it; the port's cancel also ends a read that starts just after the
  // run flag was tested.
  void Stop();

 private:
  void ReadLoop();
  void ReadChunks();

  PipeReadPort port_;
  OutputHandler handler_;
  JsonModule& json_;
  Settings settings_;
  std::atomic<bool> running_{true};
  std::thread thread_;  // last, so that it starts after everything it uses exists
};

}  // namespace snh
