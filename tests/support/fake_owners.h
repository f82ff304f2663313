// The system's table of connection owners as a test sets it: the owning
// process of each peer port; a port not set is not listed. Every question is
// written down.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "net/connection_owners.h"

class FakeConnectionOwners : public ConnectionOwners {
 public:
  void Set(uint16_t peerPort, uint32_t process) {
    std::lock_guard<std::mutex> lock(mutex_);
    owners_[peerPort] = process;
  }
  ConnectionOwner Find(uint32_t address, uint16_t peerPort, uint16_t localPort) override {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_.push_back({address, peerPort, localPort});
    auto found = owners_.find(peerPort);
    if (found == owners_.end()) return {};
    return {true, found->second};
  }
  struct Asked {
    uint32_t address;
    uint16_t peerPort, localPort;
  };
  std::vector<Asked> asked() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return asked_;
  }

 private:
  mutable std::mutex mutex_;
  std::map<uint16_t, uint32_t> owners_;
  std::vector<Asked> asked_;
};
