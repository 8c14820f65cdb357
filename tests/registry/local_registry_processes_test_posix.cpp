// The local registry shared between processes: concurrent writers lose none
// of each other's updates, and a writer killed at any point leaves a hive
// that parses and holds every write it acknowledged.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "registry/local_registry.h"
#include "tests/support/scratch_directory.h"

namespace quillprobe::registry {
namespace {

constexpr HKey kHklm = roots::kLocalMachine;

std::vector<std::uint8_t> Sz(const std::string& text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return data;
}

// Runs `body` in a child process that ends with its result as exit status.
// The child never returns into the test.
template <typename Body>
pid_t Spawn(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int code = 100;
    try {
      code = body();
    } catch (...) {
    }
    ::_exit(code);
  }
  return pid;
}

// The exit status of a child, or -1 when it did not exit normally.
int Wait(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A pipe whose ends close themselves.
struct Pipe {
  Pipe() {
    if (::pipe(fds) != 0) fds[0] = fds[1] = -1;
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() {
    if (fds[0] >= 0) ::close(fds[0]);
    fds[0] = -1;
  }
  void CloseWrite() {
    if (fds[1] >= 0) ::close(fds[1]);
    fds[1] = -1;
  }
  int fds[2];
};

// Opens (creating) `path` under HKEY_LOCAL_MACHINE with all rights.
HKey CreateKey(RegistryApi& api, const std::string& path) {
  HKey key = kNoKey;
  std::uint32_t disposition = 0;
  return api.CreateKeyEx(kHklm, path, "", 0, access::kAllAccess, nullptr, &key,
                         &disposition) == status::kSuccess
             ? key
             : kNoKey;
}

// The values of `path` by name, read in one pass.
std::map<std::string, std::vector<std::uint8_t>> Values(
    RegistryApi& api, const std::string& path) {
  std::map<std::string, std::vector<std::uint8_t>> values;
  HKey key = kNoKey;
  if (api.OpenKeyEx(kHklm, path, 0, access::kRead, &key) != 0) return values;
  for (std::uint32_t i = 0;; ++i) {
    char name[64];
    std::uint32_t name_length = sizeof name;
    std::uint8_t data[64];
    std::uint32_t data_length = sizeof data;
    if (api.EnumValue(key, i, name, &name_length, nullptr, data,
                      &data_length) != 0) {
      break;
    }
    values[std::string(name, name_length)].assign(data, data + data_length);
  }
  api.CloseKey(key);
  return values;
}

TEST(LocalRegistryProcessesTest, ConcurrentWritersLoseNoUpdates) {
  constexpr int kWriters = 2;
  constexpr int kValuesEach = 1000;
  const test::ScratchDirectory scratch(test::MemoryBackedTempDirectory());
  Pipe start;
  ASSERT_GE(start.fds[0], 0);

  std::vector<pid_t> writers;
  for (int writer = 0; writer < kWriters; ++writer) {
    writers.push_back(Spawn([&] {
      start.CloseWrite();
      char go = 0;
      if (::read(start.fds[0], &go, 1) < 0) return 2;  // both start at once
      LocalRegistry registry(scratch.path());
      const HKey key = CreateKey(registry, "Shared");
      if (key == kNoKey) return 3;
      for (int i = 0; i < kValuesEach; ++i) {
        const std::string name =
            "w" + std::to_string(writer) + "-" + std::to_string(i);
        if (registry.SetValueEx(key, name, value_type::kSz, Sz(name)) != 0) {
          return 4;
        }
      }
      return 0;
    }));
    ASSERT_GT(writers.back(), 0);
  }
  start.CloseWrite();  // releases both writers
  for (const pid_t pid : writers) EXPECT_EQ(Wait(pid), 0);

  LocalRegistry registry(scratch.path());
  ASSERT_FALSE(registry.CheckHive(kHklm).has_value());
  const auto values = Values(registry, "Shared");
  EXPECT_EQ(values.size(), static_cast<std::size_t>(kWriters * kValuesEach));
  for (int writer = 0; writer < kWriters; ++writer) {
    for (int i = 0; i < kValuesEach; ++i) {
      const std::string name =
          "w" + std::to_string(writer) + "-" + std::to_string(i);
      const auto found = values.find(name);
      ASSERT_NE(found, values.end()) << name;
      EXPECT_EQ(found->second, Sz(name));
    }
  }
}

TEST(LocalRegistryProcessesTest, KilledWriterLosesNoAcknowledgedWrite) {
  constexpr int kRounds = 200;
  constexpr std::uint32_t kNames = 16;
  constexpr std::uint32_t kReady = 0xFFFFFFFFu;
  const test::ScratchDirectory scratch(test::MemoryBackedTempDirectory());
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delay_us(0, 3000);

  // Each write i of round r stores "r:i" in value v<i % kNames>, so the hive
  // stays small however long the writers run. A value must hold the last
  // write acknowledged to it, or a later one.
  struct Write {
    int round = -1;
    std::uint32_t index = 0;
    auto operator<=>(const Write&) const = default;
  };
  const auto data_of = [](const Write& write) {
    return Sz(std::to_string(write.round) + ":" + std::to_string(write.index));
  };
  std::map<std::string, Write> acknowledged;  // by value name
  int rounds_with_writes = 0;
  for (int round = 0; round < kRounds; ++round) {
    Pipe acks;
    ASSERT_GE(acks.fds[0], 0);
    const pid_t child = Spawn([&] {
      acks.CloseRead();
      LocalRegistry registry(scratch.path());
      const HKey key = CreateKey(registry, "Writer");
      if (key == kNoKey) return 3;
      if (::write(acks.fds[1], &kReady, sizeof kReady) != sizeof kReady) {
        return 5;
      }
      for (std::uint32_t i = 0; i < 100000; ++i) {
        const std::string name = "v" + std::to_string(i % kNames);
        if (registry.SetValueEx(key, name, value_type::kSz,
                                data_of({round, i})) != 0) {
          return 4;
        }
        if (::write(acks.fds[1], &i, sizeof i) != sizeof i) return 5;
      }
      ::pause();
      return 0;
    });
    ASSERT_GT(child, 0);
    acks.CloseWrite();
    std::uint32_t message = 0;
    const bool ready = ::read(acks.fds[0], &message, sizeof message) ==
                           static_cast<ssize_t>(sizeof message) &&
                       message == kReady;
    if (ready) {
      std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    }
    ::kill(child, SIGKILL);
    EXPECT_EQ(Wait(child), -1) << "the writer failed on its own";
    ASSERT_TRUE(ready) << "round " << round;

    bool wrote = false;
    while (::read(acks.fds[0], &message, sizeof message) ==
           static_cast<ssize_t>(sizeof message)) {
      acknowledged["v" + std::to_string(message % kNames)] = {round, message};
      wrote = true;
    }
    rounds_with_writes += wrote;

    LocalRegistry reader(scratch.path());
    const auto error = reader.CheckHive(kHklm);
    ASSERT_FALSE(error.has_value())
        << "round " << round << ": " << error->Message();
    const auto values = Values(reader, "Writer");
    for (const auto& [name, write] : acknowledged) {
      const auto found = values.find(name);
      ASSERT_NE(found, values.end()) << "round " << round << " lost " << name;
      const std::string stored(found->second.begin(), found->second.end());
      Write held;
      held.round = std::stoi(stored);
      held.index = static_cast<std::uint32_t>(
          std::stoul(stored.substr(stored.find(':') + 1)));
      EXPECT_EQ(found->second, data_of(held));
      EXPECT_GE(held, write)
          << "round " << round << " lost a write to " << name;
      EXPECT_LE(held.round, round);
    }
  }
  EXPECT_GT(rounds_with_writes, 0);
}

}  // namespace
}  // namespace quillprobe::registry
