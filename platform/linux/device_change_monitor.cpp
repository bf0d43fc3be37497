#include "platform/device_change_monitor.h"

#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <boost/asio/posix/stream_descriptor.hpp>

#include "platform/sysfs_source.h"
#include "platform/ui_loop_asio.h"

namespace kit::platform {

namespace {
using boost::asio::posix::stream_descriptor;

void post_notice(const device_notice_fn& notify, uintptr_t wparam) {
  if (notify) notify(wparam);
}

size_t count_lines(const std::string& path) {
  std::ifstream in(path);
  size_t n = 0;
  std::string line;
  while (std::getline(in, line)) ++n;
  return n;
}

// Kernel device events through libudev. The descriptor belongs to the udev monitor, so it
// is released, not closed, by the Asio object.
class udev_source {
public:
  explicit udev_source(device_notice_fn notify) : notify_(std::move(notify)), sd_(ui_io_context()) {
    udev_ = udev_new();
    if (!udev_) return;
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (!monitor_) return;
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usb", "usb_device");
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "block", nullptr);
    if (udev_monitor_enable_receiving(monitor_) < 0) return;
    boost::system::error_code ec;
    sd_.assign(udev_monitor_get_fd(monitor_), ec);
    if (!ec) arm();
  }
  ~udev_source() {
    if (sd_.is_open()) sd_.release();  // cancels the pending wait
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
  }

private:
  void arm() {
    std::weak_ptr<int> alive = alive_;
    sd_.async_wait(stream_descriptor::wait_read, [this, alive](const boost::system::error_code& ec) {
      if (ec || alive.expired()) return;
      while (udev_device* dev = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(dev);
        std::string a = action ? action : "";
        if (a == "add") post_notice(notify_, kDeviceArrival);
        if (a == "remove") post_notice(notify_, kDeviceRemoved);
        udev_device_unref(dev);
      }
      arm();
    });
  }

  device_notice_fn notify_;
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
  stream_descriptor sd_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The mount table signals each change as a priority event. A volume mounted after its
// device appeared (the desktop mounts it a moment later) is an arrival of its own.
class mount_source {
public:
  explicit mount_source(device_notice_fn notify) : notify_(std::move(notify)), sd_(ui_io_context()) {
    path_ = platform::sysfs::mountinfo_path();
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    boost::system::error_code ec;
    sd_.assign(fd, ec);  // refused for files that cannot be polled
    if (ec) {
      ::close(fd);
      return;
    }
    lines_ = count_lines(path_);
    arm();
  }
  ~mount_source() {
    boost::system::error_code ec;
    sd_.close(ec);
  }

private:
  void arm() {
    std::weak_ptr<int> alive = alive_;
    sd_.async_wait(stream_descriptor::wait_error, [this, alive](const boost::system::error_code& ec) {
      if (ec || alive.expired()) return;
      size_t lines = count_lines(path_);
      if (lines != lines_) post_notice(notify_, lines > lines_ ? kDeviceArrival : kDeviceRemoved);
      lines_ = lines;
      arm();
    });
  }

  device_notice_fn notify_;
  std::string path_;
  size_t lines_ = 0;
  stream_descriptor sd_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The test trigger: lines written to a FIFO become notices.
class fifo_source {
public:
  fifo_source(device_notice_fn notify, const std::string& path) : notify_(std::move(notify)), sd_(ui_io_context()) {
    // Opened for writing too, so the FIFO never reports an end when a writer closes it.
    int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    boost::system::error_code ec;
    sd_.assign(fd, ec);
    if (ec) {
      ::close(fd);
      return;
    }
    arm();
  }
  ~fifo_source() {
    boost::system::error_code ec;
    sd_.close(ec);
  }

private:
  void arm() {
    std::weak_ptr<int> alive = alive_;
    sd_.async_read_some(boost::asio::buffer(buffer_), [this, alive](const boost::system::error_code& ec, size_t n) {
      if (ec || alive.expired()) return;
      pending_.append(buffer_, n);
      size_t end;
      while ((end = pending_.find('\n')) != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "arrival") {
          post_notice(notify_, kDeviceArrival);
        } else if (line == "removal") {
          post_notice(notify_, kDeviceRemoved);
        } else if (!line.empty()) {
          post_notice(notify_, static_cast<uintptr_t>(std::strtoul(line.c_str(), nullptr, 0)));
        }
      }
      arm();
    });
  }

  device_notice_fn notify_;
  stream_descriptor sd_;
  char buffer_[256];
  std::string pending_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
} // namespace

struct device_change_monitor::impl {
  std::unique_ptr<udev_source> udev;
  std::unique_ptr<mount_source> mounts;
  std::unique_ptr<fifo_source> fifo;
};

device_change_monitor::device_change_monitor() : impl_(std::make_unique<impl>()) {}
device_change_monitor::~device_change_monitor() { stop(); }

void device_change_monitor::start(device_notice_fn notify) {
  stop();
  impl_->udev = std::make_unique<udev_source>(notify);
  impl_->mounts = std::make_unique<mount_source>(notify);
  const char* fifo = std::getenv("MOBREVIST_DEVICECHANGE_FIFO");
  if (fifo && *fifo) impl_->fifo = std::make_unique<fifo_source>(notify, fifo);
}

void device_change_monitor::stop() {
  impl_->fifo.reset();
  impl_->mounts.reset();
  impl_->udev.reset();
}

} // namespace kit::platform
