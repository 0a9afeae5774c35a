// Placeholder: the processor load sampler arrives with the probes.
#pragma once

#include "platform/platform.h"

namespace calvera::probes {

class ProcessorLoadSampler {
 public:
  double GetProcessorLoad(platform::Platform&) { return 0; }
};

}  // namespace calvera::probes
