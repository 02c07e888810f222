#include "hw/PortIo.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {
std::mutex gInstallMutex;
std::shared_ptr<PortBackend> gOwner;
std::atomic<PortBackend*> gBackend{nullptr};
}

void PortBackend::In16Block(uint16_t port, uint16_t* words, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        words[i] = In16(port);
}

void PortBackend::Out16Block(uint16_t port, const uint16_t* words, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        Out16(port, words[i]);
}

void InstallPortBackend(std::shared_ptr<PortBackend> backend)
{
    std::lock_guard<std::mutex> l(gInstallMutex);
    gBackend.store(backend.get());
    gOwner = std::move(backend);
}

std::shared_ptr<PortBackend> CurrentPortBackend()
{
    std::lock_guard<std::mutex> l(gInstallMutex);
    return gOwner;
}

bool HavePortBackend() { return gBackend.load() != nullptr; }

PortBackend& Ports()
{
    PortBackend* b = gBackend.load(std::memory_order_acquire);
    if (!b) {
        std::fputs("voran: port access used before a backend was chosen\n", stderr);
        std::abort();
    }
    return *b;
}

uint8_t PortRead(uint16_t port) { return Ports().In8(port); }
void PortWrite(uint16_t port, uint8_t value) { Ports().Out8(port, value); }
