// The Python module `chamber`: worlds whose state numpy arrays view in
// place, chamber-sim's run as a function, and many worlds stepped at once.
//
// The interpreter lock is released while the physics runs. A world is
// changed by one thread at a time: every call that steps, changes or reads
// it holds its mutex, waiting for it with the lock released, and calls no
// Python while it holds it (Python code run then, a destructor say, could
// ask for the same world again).
#include <pybind11/eval.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <thread>

#include "python/world.h"

namespace py = pybind11;
using chamber_python::ContactRow;
using chamber_python::SimRow;
using chamber_python::World;
using chamber_python::WorldError;
using Veruruve::Physics::CollisionSphere;

namespace {

// Steps run between two looks for Ctrl-C in a long step(n).
constexpr std::uint64_t kStepsBetweenSignals = 1u << 16;

std::unique_lock<std::mutex> lockWorld(World& world) {
  std::unique_lock<std::mutex> lock(world.mutex, std::try_to_lock);
  if (!lock.owns_lock()) {
    py::gil_scoped_release release;
    lock.lock();
  }
  return lock;
}

// Three numbers from any sequence (tuple, list, numpy array).
vec3f toVector(py::handle value, const char* what) {
  if (!py::isinstance<py::sequence>(value) || py::isinstance<py::str>(value) || py::len(value) != 3)
    throw py::value_error(std::string(what) + " must be three numbers (x, y, z)");
  const py::sequence s = py::reinterpret_borrow<py::sequence>(value);
  double v[3];
  for (int i = 0; i < 3; ++i) v[i] = py::cast<double>(py::float_(s[static_cast<std::size_t>(i)]));
  return vec3f(static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]));
}

// A count from a Python integer (not a bool, not a float).
std::int64_t toInteger(py::handle value, const char* what) {
  if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value))
    throw py::type_error(std::string(what) + " must be an integer");
  return py::cast<std::int64_t>(value);
}

std::string toPath(py::handle value) {
  return py::cast<std::string>(py::module_::import("os").attr("fsdecode")(value));
}

// Member offset within a body, for arrays over every body.
std::size_t offsetIn(const CollisionSphere& body, const vec3f& field) {
  return static_cast<std::size_t>(reinterpret_cast<const char*>(&field) -
                                  reinterpret_cast<const char*>(&body));
}

// A (bodies, 3) float32 array over one vector of every body, in the world's
// own memory. The array keeps the world (its base) alive; bodies never move,
// so the memory stays valid whatever the world does next.
py::array bodyArray(py::object self, World& world, const vec3f& (*field)(const CollisionSphere&),
                    bool writable) {
  const CollisionSphere& first = *world.firstBody();
  const std::size_t offset = offsetIn(first, field(first));
  auto* data = reinterpret_cast<float*>(reinterpret_cast<char*>(world.firstBody()) + offset);
  const std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(world.bodyCount()), 3};
  const std::vector<py::ssize_t> strides{static_cast<py::ssize_t>(sizeof(CollisionSphere)),
                                         static_cast<py::ssize_t>(sizeof(float))};
  py::array array(py::dtype::of<float>(), shape, strides, data, self);
  if (!writable) array.attr("setflags")(py::arg("write") = false);
  return array;
}

// The World of a Python object, refusing anything else, and a World whose
// construction never ran (World.__new__(World)).
World& worldOf(py::handle object) {
  const auto* type = py::detail::get_type_info(typeid(World));
  if (!py::isinstance(object, py::handle(reinterpret_cast<PyObject*>(type->type))))
    throw py::type_error("expected a chamber.World, got " +
                         py::cast<std::string>(py::repr(py::type::of(object))));
  auto* instance = reinterpret_cast<py::detail::instance*>(object.ptr());
  py::detail::value_and_holder v = instance->get_value_and_holder(type);
  if (!v.holder_constructed())
    throw py::type_error("this World was never made: call chamber.World()");
  return *static_cast<World*>(v.value_ptr());
}

py::object numpy() { return py::module_::import("numpy"); }

// The last step's contacts as a structured array.
py::array contactArray(const std::vector<ContactRow>& rows) {
  py::list fields;
  fields.append(py::make_tuple("point", "<f4", py::make_tuple(3)));
  fields.append(py::make_tuple("correction", "<f4", py::make_tuple(3)));
  fields.append(py::make_tuple("body", "<u4"));
  fields.append(py::make_tuple("other", "<u4"));
  fields.append(py::make_tuple("other_is_room", "?"));
  py::array array = numpy().attr("zeros")(rows.size(), numpy().attr("dtype")(fields));
  auto* out = static_cast<char*>(array.mutable_data());
  for (const ContactRow& row : rows) {
    const float floats[6] = {row.point.x,      row.point.y,      row.point.z,
                             row.correction.x, row.correction.y, row.correction.z};
    std::memcpy(out, floats, sizeof floats);
    std::memcpy(out + 24, &row.body, 4);
    std::memcpy(out + 28, &row.other, 4);
    out[32] = row.otherIsRoom ? 1 : 0;
    out += 33;
  }
  return array;
}

static_assert(sizeof(SimRow) == 48, "a row is packed as the array's fields");

// The rows of a run as a structured array with the CSV's columns.
py::array rowArray(const std::vector<SimRow>& rows) {
  py::list fields;
  fields.append(py::make_tuple("step", "<u8"));
  fields.append(py::make_tuple("body", "<u4"));
  for (const char* name : {"x", "y", "z", "vx", "vy", "vz", "gx", "gy", "gz"})
    fields.append(py::make_tuple(name, "<f4"));
  py::array array = numpy().attr("empty")(rows.size(), numpy().attr("dtype")(fields));
  if (!rows.empty()) std::memcpy(array.mutable_data(), rows.data(), rows.size() * sizeof(SimRow));
  return array;
}

std::shared_ptr<const chamber_python::Chamber> chamberFrom(std::string bytes, std::string name) {
  auto chamber = std::make_shared<chamber_python::Chamber>();
  chamber->bytes = std::move(bytes);
  chamber->name = std::move(name);
  return chamber;
}

// "X,Y,Z" with every float read back as the same bits.
std::string vectorText(const vec3f& v) {
  char text[96];
  std::snprintf(text, sizeof text, "%.9g,%.9g,%.9g", v.x, v.y, v.z);
  return text;
}

// A setting's value as --set's text: Python text as it stands; a number as
// the nearest float, written so that it reads back as that float (passes:
// an int as a whole number; anything else is refused by --set's rules).
std::string settingValueText(const std::string& name, py::handle value) {
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  if (py::isinstance<py::bool_>(value) ||
      (!py::isinstance<py::int_>(value) && !py::isinstance<py::float_>(value) &&
       !py::hasattr(value, "__float__")))
    throw py::value_error("a setting's value is a number or text");
  const int setting = Veruruve::Tuning::findSetting(name);
  if (setting >= 0 && Veruruve::Tuning::settingInfo(setting).integer &&
      py::isinstance<py::int_>(value))
    return py::str(value).cast<std::string>();
  double exact = 0;
  try {
    exact = py::float_(py::reinterpret_borrow<py::object>(value)).cast<double>();
  } catch (const py::error_already_set&) {
    // Beyond a double: its digits, which --set's rules refuse by name.
    return py::str(value).cast<std::string>();
  }
  char text[64];
  if (setting >= 0 && Veruruve::Tuning::settingInfo(setting).integer)
    std::snprintf(text, sizeof text, "%.17g", exact);
  else
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(static_cast<float>(exact)));
  return text;
}

// chamber-sim's arguments for the keyword arguments of simulate().
std::vector<std::string> simArguments(py::object ctr, py::object steps, py::object start,
                                      py::object velocity, py::iterable pushes, py::iterable bodies,
                                      py::iterable settings, py::object every) {
  std::vector<std::string> a;
  if (!ctr.is_none()) a.insert(a.end(), {"--ctr", toPath(ctr)});
  if (!steps.is_none()) a.insert(a.end(), {"--steps", std::to_string(toInteger(steps, "steps"))});
  if (!start.is_none()) a.insert(a.end(), {"--start", vectorText(toVector(start, "start"))});
  if (!velocity.is_none())
    a.insert(a.end(), {"--velocity", vectorText(toVector(velocity, "velocity"))});
  for (py::handle push : pushes) {
    if (!py::isinstance<py::sequence>(push) || py::len(push) != 3)
      throw py::value_error("a push is ((x, y, z), first, last)");
    const py::sequence p = py::reinterpret_borrow<py::sequence>(push);
    std::string text = vectorText(toVector(p[0], "a push's force"));
    if (p[1].is_none() != p[2].is_none())
      throw py::value_error("a push's first and last steps are both given or both None");
    if (!p[1].is_none())
      text += "@" + std::to_string(toInteger(p[1], "a push's first step")) + ":" +
              std::to_string(toInteger(p[2], "a push's last step"));
    a.insert(a.end(), {"--push", text});
  }
  for (py::handle body : bodies) {
    if (!py::isinstance<py::sequence>(body) || py::len(body) < 2 || py::len(body) > 3)
      throw py::value_error("a body is ((x, y, z), (vx, vy, vz), step)");
    const py::sequence b = py::reinterpret_borrow<py::sequence>(body);
    std::string text = vectorText(toVector(b[0], "a body's position")) + "," +
                       vectorText(toVector(b[1], "a body's velocity"));
    if (py::len(b) == 3 && !b[2].is_none())
      text += "@" + std::to_string(toInteger(b[2], "a body's step"));
    a.insert(a.end(), {"--body", text});
  }
  for (py::handle setting : settings) {
    if (!py::isinstance<py::sequence>(setting) || py::isinstance<py::str>(setting) ||
        py::len(setting) < 2 || py::len(setting) > 3 ||
        !py::isinstance<py::str>(py::reinterpret_borrow<py::sequence>(setting)[0]))
      throw py::value_error("a setting is (\"name\", value) or (\"name\", value, step)");
    const py::sequence s = py::reinterpret_borrow<py::sequence>(setting);
    const std::string name = s[0].cast<std::string>();
    std::string text = name + "=" + settingValueText(name, s[1]);
    if (py::len(s) == 3 && !s[2].is_none())
      text += "@" + std::to_string(toInteger(s[2], "a setting's step"));
    a.insert(a.end(), {"--set", text});
  }
  if (!every.is_none()) a.insert(a.end(), {"--every", std::to_string(toInteger(every, "every"))});
  return a;
}

py::tuple simulate(py::object ctr, py::object steps, py::object start, py::object velocity,
                   py::iterable pushes, py::iterable bodies, py::iterable settings, py::object every,
                   py::object args) {
  SimOptions options;
  if (!args.is_none()) options = chamber_python::ParseSimFile(toPath(args));
  options = chamber_python::ParseSimArguments(
      simArguments(ctr, steps, start, velocity, pushes, bodies, settings, every), options);
  chamber_python::SimRun run;
  {
    py::gil_scoped_release release;
    run = chamber_python::RunSimulation(options);
  }
  if (!run.warning.empty())
    if (PyErr_WarnEx(PyExc_RuntimeWarning, run.warning.c_str(), 1) != 0)
      throw py::error_already_set();
  py::list rooms;
  for (const std::vector<std::uint32_t>& list : run.rooms) {
    py::tuple t(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) t[i] = py::int_(list[i]);
    rooms.append(t);
  }
  return py::make_tuple(rowArray(run.rows), rooms);
}

void stepWorld(World& world, std::int64_t n) {
  if (n < 0) throw py::value_error("step count must be 0 or more");
  auto lock = lockWorld(world);
  world.checkFinite();
  auto left = static_cast<std::uint64_t>(n);
  while (left > 0) {
    const std::uint64_t now = std::min(left, kStepsBetweenSignals);
    {
      py::gil_scoped_release release;
      world.step(now);
    }
    left -= now;
    if (left > 0 && PyErr_CheckSignals() != 0) throw py::error_already_set();
  }
}

void runMany(py::iterable worlds, std::int64_t steps, py::object threads) {
  if (steps < 0) throw py::value_error("step count must be 0 or more");
  // The list is held, so its worlds live until every thread is done.
  std::vector<py::object> held;
  std::vector<World*> list;
  for (py::handle item : worlds) {
    held.push_back(py::reinterpret_borrow<py::object>(item));
    list.push_back(&worldOf(item));
  }
  std::size_t threadCount = std::max(1u, std::thread::hardware_concurrency());
  if (!threads.is_none()) {
    const std::int64_t asked = toInteger(threads, "threads");
    if (asked < 1) throw py::value_error("threads must be 1 or more");
    threadCount = static_cast<std::size_t>(asked);
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    auto lock = lockWorld(*list[i]);
    try {
      list[i]->checkFinite();
    } catch (const WorldError& e) {
      throw WorldError(e.kind, "world " + std::to_string(i) + ": " + e.what());
    }
  }
  threadCount = std::min(threadCount, list.size());

  py::gil_scoped_release release;
  std::atomic<std::size_t> next{0};
  std::exception_ptr failure;
  std::mutex failureMutex;
  const auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < list.size();) {
      try {
        std::lock_guard<std::mutex> lock(list[i]->mutex);
        list[i]->step(static_cast<std::uint64_t>(steps));
      } catch (...) {
        std::lock_guard<std::mutex> lock(failureMutex);
        if (!failure) failure = std::current_exception();
      }
    }
  };
  std::vector<std::thread> pool;
  for (std::size_t t = 1; t < threadCount; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}

const vec3f& positionOf(const CollisionSphere& b) { return b.position; }
const vec3f& velocityOf(const CollisionSphere& b) { return b.velocity; }
const vec3f& gravityOf(const CollisionSphere& b) { return b.gravity; }

}  // namespace

PYBIND11_MODULE(chamber, m) {
  m.doc() =
      "The chamber's physics: worlds stepped from Python, their state as "
      "numpy arrays, "
      "and chamber-sim's runs, bit for bit the same as chamber-sim.";

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const WorldError& e) {
      if (e.kind == WorldError::kOs) {
        // OSError(errno, message, filename) becomes FileNotFoundError and
        // its kin by the error number.
        PyErr_SetObject(PyExc_OSError, py::make_tuple(e.osError, e.what(), e.filename).ptr());
      } else {
        PyErr_SetString(e.kind == WorldError::kIndex ? PyExc_IndexError : PyExc_ValueError,
                        e.what());
      }
    }
  });

  m.attr("MAX_BODIES") = chamber_python::kMaxBodies;

  py::class_<World>(m, "World",
                    R"(A chamber's rooms with the ball, and any balls added.

World(ctr="0.ctr", start=(0, 0.5, 0), velocity=(0, 0, 0)) loads a container
file and makes the ball as the program does; World.from_description(text)
builds the rooms from a chamber description as chamber-build does.)")
      .def(py::init([](py::object ctr, py::object start, py::object velocity) {
             const std::string path = toPath(ctr);
             return new World(chamberFrom(chamber_python::ReadContainerFile(path, ""), path),
                              toVector(start, "start"), toVector(velocity, "velocity"));
           }),
           py::arg("ctr") = "0.ctr", py::arg("start") = py::make_tuple(0, 0.5, 0),
           py::arg("velocity") = py::make_tuple(0, 0, 0))
      .def_static(
          "from_description",
          [](const std::string& text, py::object start, py::object velocity) {
            return new World(chamberFrom(chamber_python::BuildContainerBytes(text), "description"),
                             toVector(start, "start"), toVector(velocity, "velocity"));
          },
          py::arg("text"), py::arg("start") = py::make_tuple(0, 0.5, 0),
          py::arg("velocity") = py::make_tuple(0, 0, 0),
          "A world of the rooms a chamber description describes (checked as "
          "chamber-build "
          "checks it; nothing is written).")
      .def(
          "add_ball",
          [](py::handle self, py::object position, py::object velocity) {
            World& w = worldOf(self);
            const vec3f p = toVector(position, "position");
            const vec3f v = toVector(velocity, "velocity");
            auto lock = lockWorld(w);
            return w.addBall(p, v);
          },
          py::arg("position"), py::arg("velocity") = py::make_tuple(0, 0, 0),
          "Adds a ball made like the ball, with the mass and radius in force; "
          "returns its index.")
      .def(
          "set",
          [](py::handle self, const std::string& name, py::handle value) {
            World& w = worldOf(self);
            const Veruruve::Tuning::Change change =
                chamber_python::ParseSetting(name + "=" + settingValueText(name, value));
            auto lock = lockWorld(w);
            w.set(change);
          },
          py::arg("name"), py::arg("value"),
          "Puts a setting in force from the next step, as chamber-sim's --set "
          "NAME=VALUE does: the same names and ranges; a number is taken as "
          "the nearest float (passes: an int); a new mass or radius goes to "
          "every ball.")
      .def_property_readonly(
          "settings",
          [](py::handle self) {
            World& w = worldOf(self);
            Veruruve::Tuning::Settings settings;
            {
              auto lock = lockWorld(w);
              settings = w.settings();
            }
            py::dict d;
            for (int s = 0; s < Veruruve::Tuning::kSettingCount; ++s) {
              const Veruruve::Tuning::SettingInfo& info = Veruruve::Tuning::settingInfo(s);
              const float v = Veruruve::Tuning::settingValue(settings, s);
              if (info.integer)
                d[info.name] = py::int_(static_cast<int>(v));
              else
                d[info.name] = py::float_(static_cast<double>(v));
            }
            return d;
          },
          "The ten settings in force (a new dict; change them with set()).")
      .def(
          "push",
          [](py::handle self, py::object force) {
            World& w = worldOf(self);
            const vec3f f = toVector(force, "force");
            auto lock = lockWorld(w);
            w.push(f);
          },
          py::arg("force"), "Adds to the ball's force for the next step, as a push does.")
      .def(
          "step", [](py::handle self, std::int64_t n) { stepWorld(worldOf(self), n); },
          py::arg("n") = 1, "Takes n steps with the interpreter lock released.")
      .def_property_readonly(
          "positions",
          [](py::object self) { return bodyArray(self, worldOf(self), positionOf, true); },
          "(bodies, 3) float32 view of the positions; writable.")
      .def_property_readonly(
          "velocities",
          [](py::object self) { return bodyArray(self, worldOf(self), velocityOf, true); },
          "(bodies, 3) float32 view of the velocities (units per step); "
          "writable.")
      .def_property_readonly(
          "gravity",
          [](py::object self) { return bodyArray(self, worldOf(self), gravityOf, false); },
          "(bodies, 3) float32 view of each body's blended gravity direction; "
          "read-only.")
      .def(
          "rooms",
          [](py::handle self, std::int64_t i) {
            World& w = worldOf(self);
            std::vector<std::uint32_t> rooms;
            {
              auto lock = lockWorld(w);
              if (i < 0) i += static_cast<std::int64_t>(w.bodyCount());
              if (i < 0) throw py::index_error("body index out of range");
              rooms = w.rooms(static_cast<std::size_t>(i));
            }
            py::tuple t(rooms.size());
            for (std::size_t k = 0; k < rooms.size(); ++k) t[k] = py::int_(rooms[k]);
            return t;
          },
          py::arg("i"), "The rooms body i reached into in the last step.")
      .def_property_readonly(
          "contacts",
          [](py::handle self) {
            World& w = worldOf(self);
            std::vector<ContactRow> rows;
            {
              auto lock = lockWorld(w);
              rows = chamber_python::ContactRows(w, w.physics().stepContacts);
            }
            return contactArray(rows);
          },
          "Every contact of the last step: point, correction, body, other, "
          "other_is_room.")
      .def_property_readonly("bodies",
                             [](py::handle self) {
                               World& w = worldOf(self);
                               return w.bodyCount();
                             })
      .def("__len__",
           [](py::handle self) {
             World& w = worldOf(self);
             return w.bodyCount();
           })
      .def_property_readonly("room_count",
                             [](py::handle self) {
                               World& w = worldOf(self);
                               return w.roomCount();
                             })
      .def_property_readonly(
          "steps",
          [](py::handle self) {
            World& w = worldOf(self);
            return w.steps();
          },
          "Steps taken since the world was made (kept by state()).")
      .def(
          "state",
          [](py::handle self) {
            World& w = worldOf(self);
            std::string state;
            {
              auto lock = lockWorld(w);
              state = w.state();
            }
            return py::bytes(state);
          },
          "The whole state as bytes; restore() puts it back bit for bit.")
      .def(
          "restore",
          [](py::handle self, const py::bytes& bytes) {
            World& w = worldOf(self);
            std::string s = bytes;
            auto lock = lockWorld(w);
            w.restore(s);
          },
          py::arg("state"))
      .def("__copy__",
           [](py::handle self) {
             World& w = worldOf(self);
             auto lock = lockWorld(w);
             return new World(w);
           })
      .def(
          "__deepcopy__",
          [](py::handle self, py::object) {
            World& w = worldOf(self);
            auto lock = lockWorld(w);
            return new World(w);
          },
          py::arg("memo"))
      // By __reduce__, which every pickle protocol uses: the container file
      // and the state.
      .def("__reduce__",
           [](py::object self) {
             World& w = worldOf(self);
             std::string state;
             {
               auto lock = lockWorld(w);
               state = w.state();
             }
             return py::make_tuple(py::module_::import("chamber").attr("_world_from_pickle"),
                                   py::make_tuple(py::bytes(w.chamber()->bytes), w.chamber()->name,
                                                  py::bytes(state)));
           })
      .def_static("_from_pickle",
                  [](const py::bytes& bytes, const std::string& name, const py::bytes& state) {
                    auto world = std::make_unique<World>(chamberFrom(bytes, name),
                                                         vec3f(0, 0.5f, 0), vec3f());
                    world->restore(state);
                    return world.release();
                  })
      .def("__repr__", [](py::handle self) {
        World& w = worldOf(self);
        return "<chamber.World '" + w.chamber()->name + "': " + std::to_string(w.bodyCount()) +
               " bodies, " + std::to_string(w.roomCount()) + " rooms, step " +
               std::to_string(w.steps()) + ">";
      });

  // Pickles name their maker by module and name; a function written in C++
  // cannot be found that way, so the maker is a Python function.
  py::exec(R"(
def _world_from_pickle(container, name, state):
    return World._from_pickle(container, name, state)
)",
           m.attr("__dict__"));

  m.def("simulate", &simulate, py::arg("ctr") = py::none(), py::arg("steps") = py::none(),
        py::arg("start") = py::none(), py::arg("velocity") = py::none(),
        py::arg("pushes") = py::tuple(), py::arg("bodies") = py::tuple(),
        py::arg("settings") = py::tuple(), py::arg("every") = py::none(), py::arg("args") = py::none(),
        R"(Runs chamber-sim's options; returns (rows, rooms).

rows: a structured array with the CSV's columns (step, body, x, y, z, vx, vy,
vz, gx, gy, gz); rooms: per row a tuple of the rooms the body reached into.
ctr defaults to "0.ctr" and steps to 600; a push is ((x, y, z), first, last)
or ((x, y, z), None, None) for every step; a body is ((x, y, z), (vx, vy, vz),
step); a setting is ("name", value) or ("name", value, step), as --set
name=value@step. args: an options file (such as a replay) read first, as --args.)");

  m.def("run_many", &runMany, py::arg("worlds"), py::arg("steps"), py::arg("threads") = py::none(),
        "Steps every world by steps on a pool of threads (every core by "
        "default), each world "
        "on one thread at a time.");
}
