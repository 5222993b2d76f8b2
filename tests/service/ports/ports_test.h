// Ports tests: the model seam installed, and every port unregistered afterwards.
#pragma once

#include "hwports.h"
#include "service_log.h"
#include "sim.h"

class PortsTest : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        sim_kernel_install();
    }
    void TearDown() override {
        while (unregister_device(0, -1) == 0) {
        }
        sim_kernel_remove();
        ServiceTest::TearDown();
    }
};
