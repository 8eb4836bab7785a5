#include "platform/viewer.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/temp_dir.hpp"

namespace mervik::platform {

// The fake viewer records $#, $1 and its standard input, stays open a while, then notes its end.
TEST(OpenDocument, PassesThePathAsOneArgumentThatNoShellSeesAndIgnoresAMissingViewer) {
  test::TempDir dir;
  const std::string d = dir.path(), viewer = dir / "bin/xdg-open", t = "echo x >" + d + "/pwned";
  dir.write("bin/xdg-open", "#!/bin/sh\nprintf '%s|%s|%s\\n' $# \"$1\" $(readlink /proc/$$/fd/0)"
                            " >\"$0.t\"\nmv \"$0.t\" \"$0.rec\"\nsleep 3\necho end >\"$0.rec\"\n");
  ASSERT_EQ(chmod(viewer.c_str(), 0700), 0);
  const std::string path = d + "/my listing \"q\" 'x' $(" + t + ") `" + t + "`; " + t + " & .pdf";
  setenv("PATH", (d + "/bin:/usr/bin:/bin").c_str(), 1);
  // No display (a text console, ssh): the viewer is not started at all.
  for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(display);
  openDocument(d + "/nowhere.pdf");
  setenv("WAYLAND_DISPLAY", "wayland-0", 1);
  openDocument(path);
  setenv("PATH", d.c_str(), 1);  // then no viewer at all
  openDocument(dir / "listing.pdf");
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // the viewer is no child of ours: no zombie
  for (int i = 0; i < 100 && !test::fileExists(viewer + ".rec"); ++i) usleep(20000);
  // The viewer still runs (it is not waited for) and no shell ran the commands in the path.
  EXPECT_EQ(test::readFile(viewer + ".rec") + test::readFile(d + "/pwned"),
            "1|" + path + "|/dev/null\n");
}

}  // namespace mervik::platform
