// A scripted tour of the shipped chamber with chamber-sim: arrow-key sized
// pushes (0.052 per step, along the view's level directions) carry the ball
// once round the loop, through every room, and it is inside some room at
// every step: a ball that left them all would drift forever.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Row {
  int step;
  float x, y, z;
  std::vector<int> rooms;
};

std::vector<Row> Simulate(const std::vector<std::string>& pushes, int steps) {
  std::string command = std::string(CHAMBER_SIM_TOOL) + " --ctr " + CHAMBER_DATA_DIR + "/0.ctr --steps " +
                        std::to_string(steps);
  for (const std::string& push : pushes) command += " --push " + push;
  FILE* pipe = popen(command.c_str(), "r");
  std::vector<Row> rows;
  char line[512];
  bool header = true;
  while (std::fgets(line, sizeof line, pipe)) {
    if (header) {
      header = false;
      continue;
    }
    // step,body,x,y,z,vx,vy,vz,gx,gy,gz,containers
    std::string field;
    std::vector<std::string> fields;
    std::istringstream in(line);
    while (std::getline(in, field, ',')) fields.push_back(field);
    Row row{std::stoi(fields[0]), std::stof(fields[2]), std::stof(fields[3]), std::stof(fields[4]), {}};
    std::istringstream rooms(fields.size() > 11 ? fields[11] : "");
    int room;
    while (rooms >> room) row.rooms.push_back(room);
    rows.push_back(row);
  }
  const int status = pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  return rows;
}

const Row& At(const std::vector<Row>& rows, int step) { return rows.at(static_cast<size_t>(step - 1)); }

TEST(ShippedChamberTour, PushesCarryTheBallThroughEveryRoomAndBackToTheHall) {
  // Room indices in file order: hall, east, gallery, loft, westhall,
  // funnel, tunnel, draft.
  const std::vector<std::string> pushes = {
      "0,0,-0.052@60:125",      // to the hall's -z side, into the draft
      "0.052,0,0@160:300",      // east, through the doorway; the east wing pulls +x
      "0,0.052,0@380:560",      // up the east wing's far wall into the gallery
      "-0.052,0,0@700:1080",    // west along the gallery's ceiling into the loft
      "0,-0.052,0@1180:1430",   // down the loft's west wall into the west hall
      "0.026,0,-0.045@1530:1640",  // a slant toward the funnel's mouth
      "0,0,-0.052@1641:1700",   // into the tunnel, which pulls toward its end
      "0,0,0.052@1950:2250",    // climb out against the tunnel's pull
      "0.052,0,0@2300:2500",    // east, back into the hall
  };
  const std::vector<Row> rows = Simulate(pushes, 2600);
  ASSERT_EQ(rows.size(), 2600u);

  std::set<int> visited;
  for (const Row& row : rows) {
    ASSERT_FALSE(row.rooms.empty()) << "the ball left every room at step " << row.step << " at (" << row.x
                                    << ", " << row.y << ", " << row.z << ")";
    visited.insert(row.rooms.begin(), row.rooms.end());
  }
  EXPECT_EQ(visited, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7}));

  // Where gravity put the ball at rest between pushes: on the hall's floor,
  // on the east wing's far wall, on the gallery's ceiling, on the loft's
  // west wall, on the west hall's floor, on the tunnel's end wall; the
  // ball's radius is 0.02.
  struct Rest {
    int step;
    char axis;
    float value;
  } rests[] = {{55, 'y', 0.02f}, {370, 'x', 5.98f}, {690, 'y', 6.98f}, {1170, 'x', -5.98f}, {1520, 'y', 0.02f}, {1940, 'z', -11.98f}};
  for (const Rest& rest : rests) {
    const Row& row = At(rows, rest.step);
    const float value = rest.axis == 'x' ? row.x : rest.axis == 'y' ? row.y : row.z;
    EXPECT_NEAR(value, rest.value, 0.002f) << "step " << rest.step;
  }
  const Row& last = rows.back();
  EXPECT_EQ(last.rooms.front(), 0) << "the tour ends in the hall";
  EXPECT_NEAR(last.y, 0.02f, 0.002f);
}

}  // namespace
