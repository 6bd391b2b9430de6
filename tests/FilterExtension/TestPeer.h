#pragma once

namespace tarnwick::testing {

// A stand-in for the application's end of the link, run as its own process. It registers with the
// extension's service and answers every flow prompt as told, writing one line per event to its
// standard output:
//   enabled                          the filter was switched on (--enable)
//   registered <true|false>          the reply to register:
//   error <description>              the link failed (then it exits with status 3)
//   prompt <flow-info JSON>          a flow to decide
//   connected | connect-failed <n>   the outcome of its own TCP connection (--connect)
//   idle <n>                         <n> connections are open and sit there (--idle)
//   silent <n>                       <n> connections are open and send nothing (--silent)
//   flooding                         the connections of --flood are open
//
// Arguments: --service <name> --answer allow|deny|hold [--connect <address>:<port>] [--quiet]
//            [--enable] [--idle <n>] [--silent <n>] [--flood <n>] [--unregistered]
// "hold" never answers, as an application that hangs would; "--quiet" leaves out the prompt lines;
// "--enable" first switches the filter on through the filter manager's service; "--idle <n>" only
// opens <n> connections to the service, each with the start of a large frame that never ends, and
// never registers; "--silent <n>" opens <n> connections that send nothing; "--flood <n>" keeps <n>
// connections open for as long as it runs, opening one again whenever the service closes one;
// "--unregistered" connects to the service, makes its --connect connection without registering,
// and then sits there.
int runTestPeer(int argc, char** argv);

}  // namespace tarnwick::testing
