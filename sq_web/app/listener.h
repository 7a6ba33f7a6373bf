#pragma once
// Start-up starts the HTTP listener through this seam and stops it after an Escape.

#include <functional>
#include <memory>

namespace ravelin {

struct Listener {
  virtual ~Listener();
  virtual void start() = 0;
  // Stops the listener and waits for its end.
  virtual void stop() = 0;
};

using ListenerFactory = std::function<std::unique_ptr<Listener>(long port)>;

}  // namespace ravelin
