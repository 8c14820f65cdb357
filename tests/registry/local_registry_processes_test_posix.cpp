// The local registry shared between processes: concurrent writers lose none
// of each other's updates, and writers killed at any point leave a hive that
// parses, holds every write they acknowledged and is not locked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <utility>
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

// The rounds of the test below; QUILLPROBE_TORTURE_ROUNDS asks for more (a
// soak).
int KillRounds() {
  const char* text = std::getenv("QUILLPROBE_TORTURE_ROUNDS");
  const int rounds = text == nullptr ? 0 : std::atoi(text);
  return rounds > 0 ? rounds : 200;
}

// True when nobody holds the hive's lock: it can be taken without waiting.
bool LockIsFree(const std::filesystem::path& hive) {
  const std::string lock = hive.string() + ".lock";
  const int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;  // no writer got that far
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);  // releases it
  return free;
}

// Several writers write to one hive at once and are killed, one by one, at
// random moments, round after round; meanwhile a reader finds the hive whole
// every time it looks. After each round the hive parses, holds every write
// whose call returned success (each writer reports those through a pipe),
// its lock is free, and a process that lives on can write.
TEST(LocalRegistryProcessesTest, KilledWritersLoseNoAcknowledgedWrite) {
  constexpr int kWriters = 3;
  constexpr std::uint32_t kNames = 16;
  constexpr std::uint32_t kReady = 0xFFFFFFFFu;
  const int rounds = KillRounds();
  const test::ScratchDirectory scratch(test::MemoryBackedTempDirectory());
  const auto hive = LocalRegistry(scratch.path()).HivePath(kHklm);
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> delay_us(0, 3000);

  // Write i of writer w in round r stores "r:i" in value v<i % kNames> of
  // key Writer<w>, so the hive stays small however long the writers run. A
  // value must hold the last write acknowledged to it, or a later one.
  struct Write {
    int round = -1;
    std::uint32_t index = 0;
    auto operator<=>(const Write&) const = default;
  };
  const auto data_of = [](const Write& write) {
    return Sz(std::to_string(write.round) + ":" + std::to_string(write.index));
  };
  const auto key_of = [](int writer) {
    return "Writer" + std::to_string(writer);
  };
  // By key and value name.
  std::map<std::pair<std::string, std::string>, Write> acknowledged;
  std::size_t acknowledged_writes = 0;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<Pipe> acks(kWriters);
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
      Pipe& ack = acks[static_cast<std::size_t>(writer)];
      ASSERT_GE(ack.fds[0], 0);
      children.push_back(Spawn([&] {
        for (Pipe& other : acks) other.CloseRead();
        LocalRegistry registry(scratch.path());
        const HKey key = CreateKey(registry, key_of(writer));
        if (key == kNoKey) return 3;
        if (::write(ack.fds[1], &kReady, sizeof kReady) != sizeof kReady) {
          return 5;
        }
        for (std::uint32_t i = 0; i < 100000; ++i) {
          const std::string name = "v" + std::to_string(i % kNames);
          if (registry.SetValueEx(key, name, value_type::kSz,
                                  data_of({round, i})) != 0) {
            return 4;
          }
          if (::write(ack.fds[1], &i, sizeof i) != sizeof i) return 5;
        }
        ::pause();
        return 0;
      }));
      ASSERT_GT(children.back(), 0);
      ack.CloseWrite();
    }
    bool ready = true;
    for (Pipe& ack : acks) {
      std::uint32_t message = 0;
      ready = ready &&
              ::read(ack.fds[0], &message, sizeof message) ==
                  static_cast<ssize_t>(sizeof message) &&
              message == kReady;
    }

    // Kill them in a random order at random moments, looking at the hive
    // as another process would in between.
    std::vector<pid_t> kill_order = children;
    std::shuffle(kill_order.begin(), kill_order.end(), random);
    for (const pid_t child : kill_order) {
      if (ready) {
        std::this_thread::sleep_for(
            std::chrono::microseconds(delay_us(random)));
        const auto torn = LocalRegistry(scratch.path()).CheckHive(kHklm);
        EXPECT_FALSE(torn.has_value()) << "a reader saw " << torn->Message();
      }
      ::kill(child, SIGKILL);
    }
    for (const pid_t child : children) {
      EXPECT_EQ(Wait(child), -1) << "a writer failed on its own";
    }
    ASSERT_TRUE(ready);

    for (int writer = 0; writer < kWriters; ++writer) {
      Pipe& ack = acks[static_cast<std::size_t>(writer)];
      std::uint32_t message = 0;
      while (::read(ack.fds[0], &message, sizeof message) ==
             static_cast<ssize_t>(sizeof message)) {
        acknowledged[{key_of(writer), "v" + std::to_string(message % kNames)}] =
            {round, message};
        ++acknowledged_writes;
      }
    }

    ASSERT_TRUE(LockIsFree(hive)) << "a dead writer left the lock held";
    LocalRegistry survivor(scratch.path());
    const auto error = survivor.CheckHive(kHklm);
    ASSERT_FALSE(error.has_value()) << error->Message();
    std::map<std::string, std::map<std::string, std::vector<std::uint8_t>>>
        values;
    for (int writer = 0; writer < kWriters; ++writer) {
      values[key_of(writer)] = Values(survivor, key_of(writer));
    }
    for (const auto& [where, write] : acknowledged) {
      const auto& [key, name] = where;
      const auto found = values[key].find(name);
      ASSERT_NE(found, values[key].end()) << key << " lost " << name;
      const std::string stored(found->second.begin(), found->second.end());
      Write held;
      held.round = std::stoi(stored);
      held.index = static_cast<std::uint32_t>(
          std::stoul(stored.substr(stored.find(':') + 1)));
      EXPECT_EQ(found->second, data_of(held));
      EXPECT_GE(held, write) << key << " lost a write to " << name;
      EXPECT_LE(held.round, round);
    }
    const HKey key = CreateKey(survivor, "Survivor");
    ASSERT_NE(key, kNoKey);
    EXPECT_EQ(survivor.SetValueEx(key, "round", value_type::kSz,
                                  Sz(std::to_string(round))),
              status::kSuccess);
    survivor.CloseKey(key);
  }
  EXPECT_GT(acknowledged_writes, static_cast<std::size_t>(rounds));
  std::cout << "[          ] " << rounds << " rounds of " << kWriters
            << " writers, " << acknowledged_writes << " acknowledged writes\n";
}

}  // namespace
}  // namespace quillprobe::registry
