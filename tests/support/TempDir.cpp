#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kestrelon::test {

TempDir::TempDir()
{
    char name[] = "/tmp/kestrelon-test-XXXXXX";
    if (!::mkdtemp(name)) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = name;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::write(const std::string& relative, const std::string& content) const
{
    std::filesystem::path p = std::filesystem::path(m_path) / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << content;
    return p.string();
}

std::string TempDir::mkdir(const std::string& relative) const
{
    std::filesystem::path p = std::filesystem::path(m_path) / relative;
    std::filesystem::create_directories(p);
    return p.string();
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace kestrelon::test
