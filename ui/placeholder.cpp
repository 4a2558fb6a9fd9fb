void vxUiPlaceholder() {}
