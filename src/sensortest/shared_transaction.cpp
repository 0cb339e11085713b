#include "link/transaction.h"
#include "sensortest/sensor_test.h"

namespace gelvar {
namespace {

class SharedLinkTransaction : public StepTransaction {
 public:
  std::int32_t Start(std::uint32_t objectId, const ObjectRequest* request) override {
    return linkTransaction.Start(objectId, request);
  }
  std::int32_t Poll(ObjectRequest* request, int* tries, int* cycles, int* ms) override {
    return linkTransaction.Poll(request, tries, cycles, ms);
  }
};

}  // namespace

StepTransaction& SharedTransaction() {
  static SharedLinkTransaction shared;
  return shared;
}

}  // namespace gelvar
