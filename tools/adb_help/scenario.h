// What the stand-in debug-bridge client pretends: the devices attached and, per command,
// the answer, exit status, delay, gate file, hang and extra bulk output.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace adb_help {

struct device {
  std::string serial;
  std::string state;
};

struct command_rule {
  bool has_answer = false;
  std::string answer;  // replaces the normal output
  int exit_code = -1;  // -1: the normal status
  long delay_ms = 0;
  bool hang = false;
  std::string gate;    // wait until this file exists
  long huge_bytes = 0; // filler printed before the answer
};

struct scenario {
  std::vector<device> devices;
  std::map<std::string, command_rule> rules;  // by command name, "*" for every command
  std::string log_path;
  // The stand-in phone's file system (push copies into it, shell runs programs from it),
  // the arguments added when a program pushed there is run, and getprop's answers.
  std::string phone_root;
  std::vector<std::string> agent_args;
  std::map<std::string, std::string> props;
  std::vector<std::string> errors;            // lines that could not be read

  // The rule for a command: its own entries over those of "*".
  command_rule rule_for(const std::string& command) const;
  // Reads one scenario line ("" and "#" lines are ignored).
  void read_line(const std::string& line);
  void read_text(const std::string& text, char separator = '\n');
};

// The scenario of this run: the file named by ADB_HELP_SCENARIO, else adb_help.scenario
// beside the program, then the lines of ADB_HELP_LINES (separated by ";" or new lines).
scenario load_scenario();

// Replaces \n, \t, \r and \\ by the characters they stand for.
std::string unescape(const std::string& text);

} // namespace adb_help
