// Where the program's WebAssembly comes from. Over http(s) it is drill.wasm.gz beside this script:
// two fifths of drill.wasm's size from any server, unpacked and compiled while it arrives. A browser
// that cannot unpack it takes drill.wasm. A page opened from a folder (file://) may not fetch a
// file, but it may run a script: there the same WebAssembly comes from drill.wasm.js, which holds
// it as base64 text.
//
// Over http(s) the page has most likely asked for it already, before this script arrived; the
// program takes that answer instead of asking again (a server's policy may forbid the page's own
// script: then it is asked for here). What arrives is looked at, not its type:
// a server may send drill.wasm.gz unpacked already (Content-Encoding: gzip) or under any type.
if (location.protocol !== 'file:') {
  Module.instantiateWasm = function (imports, receive) {
    const file = window.drillWasmFile ||
                 (typeof DecompressionStream === 'function' ? 'drill.wasm.gz' : 'drill.wasm');
    const response = window.drillWasmResponse || fetch(file, {credentials: 'same-origin'});
    delete window.drillWasmResponse;
    response.then(function (answer) {
      if (!answer.ok) throw new Error(file + ' could not be loaded: HTTP ' + answer.status);
      return drillWasmBody(answer.body).then(function (body) {
        const wasm = new Response(body, {headers: {'Content-Type': 'application/wasm'}});
        return WebAssembly.instantiateStreaming
          ? WebAssembly.instantiateStreaming(wasm, imports)
          : wasm.arrayBuffer().then(function (bytes) {
            return WebAssembly.instantiate(bytes, imports);
          });
      });
    }).then(function (result) {
      receive(result.instance, result.module);
    }, function (error) { abort(error); });
    return {};
  };
} else {
  Module.instantiateWasm = function (imports, receive) {
    const script = document.createElement('script');
    script.src = new URL('drill.wasm.js', document.currentScript ? document.currentScript.src
                                                                 : location.href).href;
    script.onload = function () {
      const text = atob(window.drillWasm);
      delete window.drillWasm;
      const bytes = new Uint8Array(text.length);
      for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
      WebAssembly.instantiate(bytes, imports).then(function (result) {
        receive(result.instance, result.module);
      }, function (error) { abort(error); });
    };
    script.onerror = function () { abort('drill.wasm.js could not be loaded'); };
    document.head.append(script);
    return {};
  };
}

// The WebAssembly as it arrives: a body that begins as gzip does is unpacked on the way, one that
// begins as WebAssembly does is taken as it is; anything else is not the program.
function drillWasmBody(body) {
  const reader = body.getReader();
  let head = new Uint8Array(0);
  function start() {
    return reader.read().then(function (part) {
      if (!part.done) {
        const joined = new Uint8Array(head.length + part.value.length);
        joined.set(head);
        joined.set(part.value, head.length);
        head = joined;
        if (head.length < 4) return start();
      }
      return head;
    });
  }
  return start().then(function (first) {
    const rest = new ReadableStream({
      start: function (controller) { if (first.length) controller.enqueue(first); },
      pull: function (controller) {
        return reader.read().then(function (part) {
          if (part.done) controller.close();
          else controller.enqueue(part.value);
        });
      },
      cancel: function (why) { return reader.cancel(why); },
    });
    if (first[0] === 0x1f && first[1] === 0x8b && typeof DecompressionStream === 'function') {
      return rest.pipeThrough(new DecompressionStream('gzip'));
    }
    if (first[0] === 0 && first[1] === 0x61 && first[2] === 0x73 && first[3] === 0x6d) return rest;
    throw new Error('the WebAssembly file holds something else (a page of the server\'s?)');
  });
}
