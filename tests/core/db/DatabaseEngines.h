#pragma once

#include "Database.h"

#include <memory>
#include <string>
#include <vector>

namespace bm::test {

// A fresh, empty herd database of one engine, removed with the object.
class DatabasePlace
{
public:
    virtual ~DatabasePlace() = default;
    virtual std::unique_ptr<db::Connection> connect() = 0;
    // Makes the database itself fail every later write of `connection` (a server that goes
    // away, a file that turns read-only).
    virtual void breakConnection(db::Connection &connection) = 0;
};

class EngineFactory
{
public:
    virtual ~EngineFactory() = default;
    virtual std::string name() const = 0;
    virtual std::unique_ptr<DatabasePlace> make() const = 0;
};

// Every engine the tests run on.
std::vector<const EngineFactory *> engineFactories();

} // namespace bm::test
