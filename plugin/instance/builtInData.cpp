#include "builtInData.h"

#include <cstddef>

namespace korvo {

namespace embedded {
extern const unsigned char builtInWaveRom[];
extern const std::size_t builtInWaveRom_size;
extern const unsigned char builtInFactoryBank[];
extern const std::size_t builtInFactoryBank_size;
}  // namespace embedded

InstanceEnvironment withBuiltInData(InstanceEnvironment environment) {
  environment.builtInWaveRom = {embedded::builtInWaveRom, embedded::builtInWaveRom_size};
  environment.builtInBank = {embedded::builtInFactoryBank, embedded::builtInFactoryBank_size};
  return environment;
}

}  // namespace korvo
