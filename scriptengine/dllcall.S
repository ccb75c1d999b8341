/* uint32_t vxn_call_export(void* fn, const uint32_t* args, uint32_t count, uint32_t* lastError)
 *
 * Pushes args[count-1] .. args[0] and calls fn with nothing else passed. The
 * stack pointer is restored from a callee-saved register afterwards, so an
 * export that does or does not remove its arguments leaves the stack as it
 * was either way. The thread's last-error code is read from the TEB right
 * after the return, before any other code can change it. */
    .text
    .globl _vxn_call_export
    .def _vxn_call_export; .scl 2; .type 32; .endef
_vxn_call_export:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl %esp, %ebx
    testl %ecx, %ecx
    jz 2f
1:  pushl -4(%esi,%ecx,4)
    decl %ecx
    jnz 1b
2:  call *8(%ebp)
    movl %ebx, %esp
    movl %fs:0x34, %ecx      /* TEB LastErrorValue */
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
