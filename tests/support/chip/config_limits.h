// Range checks of the zelp7x configuration steps: each field is refused just outside its range
// and reads back at both ends of it.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "morvel_devlib/morvel_zelp7x.h"

namespace ztest {

struct ConfigLimit {
    unsigned flag;
    unsigned morvel_zelp7x_config_s::*field;
    unsigned min, max;
};

inline void expect_limits(int (*set)(morvel_zelp7x_config_s *, morvel_zelp7x_config_state_s *),
                          void (*get)(morvel_zelp7x_config_state_s *, morvel_zelp7x_config_s *),
                          std::initializer_list<ConfigLimit> limits) {
    morvel_zelp7x_config_state_s st{};
    for (const ConfigLimit &l : limits) {
        morvel_zelp7x_config_s r{};
        r.set = l.flag;
        r.*l.field = l.max + 1;
        EXPECT_EQ(set(&r, &st), MORVEL_ZELP_ERROR_ARG) << l.max;
        if (l.min > 0) {
            r.*l.field = l.min - 1;
            EXPECT_EQ(set(&r, &st), MORVEL_ZELP_ERROR_ARG) << l.min;
        }
        for (unsigned v : {l.min, l.max}) {
            r.*l.field = v;
            ASSERT_EQ(set(&r, &st), 0) << v;
            morvel_zelp7x_config_s out{};
            get(&st, &out);
            EXPECT_EQ(out.*l.field, v);
        }
    }
}

} // namespace ztest
