# melvaron-server in a container: the web page and games between two devices.
#   podman build -t melvaron-server -f Containerfile .
#   podman run -d --name melvaron -p 8080:8080 -v melvaron-games:/var/lib/melvaron-server melvaron-server
# (docker takes the same commands.) The games live in the volume; `podman stop` sends SIGTERM,
# on which the server stores what is pending and closes every page with going-away.

# The build: the page with emscripten, the server natively, as ./run --web does.
FROM debian:12 AS build
RUN apt-get update \
 && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
      build-essential cmake pkg-config libsdl2-dev libfreetype-dev libfontconfig-dev libpng-dev \
      libcli11-dev fonts-ipafont-gothic libboost1.81-dev libboost-json1.81-dev libsqlite3-dev \
      emscripten nodejs npm \
 && rm -rf /var/lib/apt/lists/*
WORKDIR /src
COPY . .
RUN bash scripts/build-web.sh \
 && cmake --build build -j "$(nproc)" --target melvaron-server

# The server alone, with the two libraries it links.
FROM debian:12-slim
RUN apt-get update \
 && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
      libboost-json1.81.0 libsqlite3-0 \
 && rm -rf /var/lib/apt/lists/* \
 && useradd --system --home-dir /var/lib/melvaron-server --create-home melvaron
COPY --from=build /src/build/server/melvaron-server /usr/local/bin/
COPY --from=build /src/build-web/site /usr/local/share/melvaron-server/site
USER melvaron
VOLUME /var/lib/melvaron-server
EXPOSE 8080
STOPSIGNAL SIGTERM
ENTRYPOINT ["melvaron-server", "--listen", "0.0.0.0:8080", \
            "--site", "/usr/local/share/melvaron-server/site", "--data", "/var/lib/melvaron-server"]
