// What the end-to-end test asks of the probe it hooks into the program: the
// command goes in wParam of the registered message posted to the main
// window, a window handle in lParam; the answer comes back as text in the
// shared memory and the event is set.
#pragma once

constexpr char kProbeMessageName[] = "qinghe.test.probe";
constexpr char kProbeMemoryName[] = "qinghe-test-probe-memory";
constexpr char kProbeDoneEventName[] = "qinghe-test-probe-done";
constexpr unsigned kProbeMemorySize = 4096;

enum ProbeCommand : unsigned {
  kProbeSync = 0,      // nothing: answers once the messages before it are handled
  kProbeDescribeMenu,  // the menu bar: "caption\n" and "-caption id\n" per item
  kProbeClickRepair,   // clicks lParam's button: "disabled" or "enabled" right after
  kProbeTabItem0,      // lParam's tab item 0: "left top right bottom text"
  kProbeTabItem1,
  kProbeChooseMenu,  // chooses the menu item whose id is lParam, then describes
                     // the menu as it is right after, as kProbeDescribeMenu does
};
