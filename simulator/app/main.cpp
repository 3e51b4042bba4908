// Entry of Velmorant: one convergent-beam pattern simulation in the working directory.
#include <iostream>
#include <memory>

#include "app/driver.hpp"
#include "simulator/progress/presentation.hpp"

int main(int argc, char** argv) {
  std::unique_ptr<velmorant::Presentation> presentation = velmorant::make_presentation();
  const int status = velmorant::run_velmorant(argc > 1 ? argv[1] : nullptr, *presentation,
                                              std::cout, std::cerr);
  std::cout.flush();
  return status;
}
