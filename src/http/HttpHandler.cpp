#include "http/HttpHandler.h"

namespace kestrelon {

std::string errorPage(std::string_view reason)
{
    return "<html><head><title>Error</title></head><body><h1>" + std::string(reason) + "</h1></body></html>";
}

} // namespace kestrelon
