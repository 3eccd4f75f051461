// The process entry of the simulated machine: records the command line the
// way Windows hands it to a process, loads the machine file named by
// MORL_SIM_MACHINE, and runs the product's wWinMain.
#include <string>
#include <vector>

#include <windows.h>
#include <winsim.h>
#include <winsim_host.h>

int main(int argc, char** argv) {
  const std::vector<std::string> words(argv, argv + argc);
  const std::wstring line = winsim::QuoteCommandLine(words);
  winsim::SetCommandLine(line);
  // wWinMain receives the line without the program name.
  const std::wstring program = winsim::QuoteCommandLine({words.empty() ? "" : words[0]});
  static std::wstring arguments;
  arguments = line.size() > program.size() ? line.substr(program.size() + 1) : L"";
  winsim::LoadMachineFromEnvironment();
  constexpr int kShowDefault = 10;  // SW_SHOWDEFAULT
  return wWinMain(nullptr, nullptr, arguments.data(), kShowDefault);
}
