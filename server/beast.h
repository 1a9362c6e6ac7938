// Boost.Asio and Boost.Beast under the short names the server, its wire tests and its load
// bench all use.
#pragma once

#include <boost/asio.hpp>
#include <boost/beast.hpp>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
